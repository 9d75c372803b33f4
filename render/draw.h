// Frame set-up and immediate primitives: the thin layer between the
// double-precision world and the graphics device. Camera-relative throughout:
// the camera position is subtracted in double before anything becomes float,
// so the view matrix holds only the camera's rotation. With a null Device
// every operation here draws and sets nothing.
//
// View space: X right, Y forward (depth), Z up.
#pragma once
#include <cstdint>

#include "foundation/math.h"
#include "render/view.h"

// Vertex layouts of the immediate primitives.
struct ColouredVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE, 16 bytes
  float x, y, z;
  uint32_t colour;
};
struct ColouredScreenVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 20 bytes
  float x, y, z, rhw;
  uint32_t colour;
};
struct TexturedScreenVertex {  // D3DFVF_XYZRHW | D3DFVF_TEX1, 24 bytes
  float x, y, z, rhw;
  float u, v;
};

// Four channels in 0..1 to ARGB: each times 255, truncated, low 8 bits.
uint32_t PackColour(float r, float g, float b, float a);

// Projection, view, shader constants, render and sampler states of a frame;
// near and far planes in metres.
void SetupFrame(double nearPlane, double farPlane);
// Clears target (ARGB 255, r, g, b), depth (1.0) and stencil (0).
void ClearTarget(float r, float g, float b);
// World = rotation(orientation) * translation(position - CameraPosition):
// device world transform plus vertex registers reg..reg+3 (transposed) and
// kVertexWorldW; reg is kVertexWorld or kVertexSecondWorld
// (render/shader_registers.h).
void SetWorldTransform(int reg, const Vec3& position, const Quat& orientation);
// World = m * translation(-CameraPosition), m an absolute world matrix.
void SetWorldMatrix(int reg, const Mat4& m);
// Four vertex (pixel) registers from reg on: m transposed, as floats.
void SetVertexConstantMatrix(int reg, const Mat4& m);
void SetPixelConstantMatrix(int reg, const Mat4& m);
// The pixel colour register (kPixelColour): the colour multiplier of the
// current draw.
void SetPixelConstantVector(float r, float g, float b, float a);

// Immediate primitives, drawn through the current device world transform
// (they do not subtract the camera position themselves). Colours r, g, b, a in 0..1.
void DrawColouredTriangle(const Vec3& p0, float r0, float g0, float b0, float a0,
                          const Vec3& p1, float r1, float g1, float b1, float a1,
                          const Vec3& p2, float r2, float g2, float b2, float a2);
void DrawLine(const Vec3& p0, float r0, float g0, float b0, float a0,
              const Vec3& p1, float r1, float g1, float b1, float a1);
// The 12 edges of the box's world hull as 12 DrawLine calls.
void DrawBoxEdges(const Box& box, float r, float g, float b, float a);
// Corners in order around the quad (pixels of the back buffer), emitted to a
// two-triangle strip as corners 0, 1, 3, 2.
void DrawScreenQuadColoured(double x0, double y0, float r0, float g0, float b0, float a0,
                            double x1, double y1, float r1, float g1, float b1, float a1,
                            double x2, double y2, float r2, float g2, float b2, float a2,
                            double x3, double y3, float r3, float g3, float b3, float a3);
void DrawScreenQuadTextured(double x0, double y0, double u0, double v0,
                            double x1, double y1, double u1, double v1,
                            double x2, double y2, double u2, double v2,
                            double x3, double y3, double u3, double v3);
