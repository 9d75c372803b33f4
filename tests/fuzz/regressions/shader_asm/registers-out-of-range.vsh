vs_1_1
dcl_position v0
mov r12, v0
mov oPos, c[a0.x + 300]
mov oT8, v16
