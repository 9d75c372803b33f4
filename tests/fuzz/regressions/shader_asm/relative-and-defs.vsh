vs_2_0
def c255, 1e38, -1e38, 0, -0
dcl_position v0
mova a0.x, v0.x
mov r0, c[a0.x + 255]
sincos r1.xy, r0.x, c0, c1
m4x4 oPos, v0, c252
mov oD0, r1
