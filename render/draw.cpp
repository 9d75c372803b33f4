#include "render/draw.h"

#include <cmath>
#include <cstring>

#include "platform/gpu/device.h"
#include "render/shader_registers.h"
#include "sim/frame_clock.h"

namespace {

// One channel: times 255, truncated toward zero, low 8 bits. Values that do
// not fit a 64-bit integer (or are NaN) pack to 0 instead of being undefined.
uint32_t Channel(float v) {
  float s = v * 255.0f;
  if (!(std::fabs(s) < 9.2e18f)) return 0;
  return uint32_t(int64_t(s)) & 0xFF;
}

Mat4 Translation(const Vec3& t) {
  Mat4 m = Mat4Identity();
  m.m[12] = t.x;
  m.m[13] = t.y;
  m.m[14] = t.z;
  return m;
}

Mat4 Transpose(const Mat4& a) {
  Mat4 t;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) t.m[c * 4 + r] = a.m[r * 4 + c];
  return t;
}

D3DMATRIX ToFloat(const Mat4& a) {
  D3DMATRIX d;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) d.m[r][c] = float(a.m[r * 4 + c]);
  return d;
}

// Register r + i holds column i of m.
void Columns(const Mat4& m, float out[16]) {
  for (int i = 0; i < 4; i++)
    for (int k = 0; k < 4; k++) out[i * 4 + k] = float(m.m[k * 4 + i]);
}

void VertexMatrix(int reg, const Mat4& m) {
  float f[16];
  Columns(m, f);
  Device->SetVertexShaderConstantF(uint32_t(reg), f, 4);
}

void PixelMatrix(int reg, const Mat4& m) {
  float f[16];
  Columns(m, f);
  Device->SetPixelShaderConstantF(uint32_t(reg), f, 4);
}

void VertexVector(int reg, float x, float y, float z, float w) {
  const float f[4] = {x, y, z, w};
  Device->SetVertexShaderConstantF(uint32_t(reg), f, 1);
}

void PixelVector(int reg, float x, float y, float z, float w) {
  const float f[4] = {x, y, z, w};
  Device->SetPixelShaderConstantF(uint32_t(reg), f, 1);
}

void ApplyWorld(int reg, const Mat4& W) {
  D3DMATRIX d = ToFloat(W);
  Device->SetTransform(D3DTS_WORLD, &d);
  VertexMatrix(reg, W);
  VertexVector(kVertexWorldW, 0, 0, 0, 1);
}

uint32_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

ColouredVertex Coloured(const Vec3& p, float r, float g, float b, float a) {
  return {float(p.x), float(p.y), float(p.z), PackColour(r, g, b, a)};
}

}  // namespace

uint32_t PackColour(float r, float g, float b, float a) {
  return Channel(a) << 24 | Channel(r) << 16 | Channel(g) << 8 | Channel(b);
}

void SetupFrame(double nearPlane, double farPlane) {
  if (!Device) return;
  D3DVIEWPORT9 vp = {0, 0, 0, 0, 0, 1};
  Device->GetViewport(&vp);
  const int32_t W = int32_t(vp.Width), H = int32_t(vp.Height);
  ScreenCentreX = W / 2;
  ScreenCentreY = H / 2;
  ScreenLeft = 0;
  ScreenTop = 0;
  ScreenRight = W - 1;
  ScreenBottom = H - 1;

  const double t = std::tan(FieldOfView * 3.141592653589793 / 360);
  const double Q = farPlane / (farPlane - nearPlane);
  // View space Y is depth and Z the screen's vertical.
  Mat4 P = {{double(H) / (double(W) * t), 0, 0, 0,  //
             0, 0, Q, 1,                            //
             0, 1 / t, 0, 0,                        //
             0, 0, -nearPlane * Q, 0}};
  Mat4 V = Transpose(QuatToMat4(CameraOrientation));

  D3DMATRIX dp = ToFloat(P), dv = ToFloat(V);
  Device->SetTransform(D3DTS_PROJECTION, &dp);
  Device->SetTransform(D3DTS_VIEW, &dv);
  SetWorldTransform(kVertexWorld, {0, 0, 0}, {0, 0, 0, 1});
  PixelVector(kPixelColour, 1, 1, 1, 1);

  VertexMatrix(kVertexProjection, P);
  VertexMatrix(kVertexView, V);
  VertexMatrix(kVertexWorld, Mat4Identity());
  VertexVector(kVertexWorldW, 0, 0, 0, 1);
  VertexVector(kVertexCamera, float(CameraPosition.x), float(CameraPosition.y), float(CameraPosition.z), 1);
  Vec3 light = LightDirection * 100000;
  VertexVector(kVertexLightPoint, float(light.x), float(light.y), float(light.z), 1);
  VertexVector(kVertexZero, 0, 0, 0, 0);

  PixelVector(kPixelAmbient, ShaderColour0[0], ShaderColour0[1], ShaderColour0[2], 1);
  PixelVector(kPixelSun, ShaderColour1[0], ShaderColour1[1], ShaderColour1[2], 1);
  PixelVector(kPixelShade, ShaderColour3[0], ShaderColour3[1], ShaderColour3[2], 1);
  PixelVector(kPixelRunTime, float(RunTime), 0, 0, 0);
  PixelMatrix(kPixelProjection, P);
  PixelMatrix(kPixelView, V);

  Device->SetRenderState(D3DRS_LIGHTING, 0);
  Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  for (uint32_t s = 0; s < 8; s++) {
    Device->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    Device->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    Device->SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    Device->SetSamplerState(s, D3DSAMP_MIPMAPLODBIAS, FloatBits(0.0f));
  }
}

void ClearTarget(float r, float g, float b) {
  if (!Device) return;
  Device->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, PackColour(r, g, b, 1.0f),
                1.0f, 0);
}

void SetWorldTransform(int reg, const Vec3& position, const Quat& orientation) {
  if (!Device) return;
  // The camera is subtracted in double: only the small difference becomes float.
  Mat4 T = Translation(position - CameraPosition);
  Mat4 R = QuatToMat4(orientation);
  ApplyWorld(reg, Mat4Mul(R, T));
}

void SetWorldMatrix(int reg, const Mat4& m) {
  if (!Device) return;
  ApplyWorld(reg, Mat4Mul(m, Translation(-CameraPosition)));
}

void SetVertexConstantMatrix(int reg, const Mat4& m) {
  if (!Device) return;
  VertexMatrix(reg, m);
}

void SetPixelConstantMatrix(int reg, const Mat4& m) {
  if (!Device) return;
  PixelMatrix(reg, m);
}

void SetPixelConstantVector(float r, float g, float b, float a) {
  if (!Device) return;
  PixelVector(kPixelColour, r, g, b, a);
}

void DrawColouredTriangle(const Vec3& p0, float r0, float g0, float b0, float a0,
                          const Vec3& p1, float r1, float g1, float b1, float a1,
                          const Vec3& p2, float r2, float g2, float b2, float a2) {
  if (!Device) return;
  const ColouredVertex v[3] = {Coloured(p0, r0, g0, b0, a0), Coloured(p1, r1, g1, b1, a1),
                               Coloured(p2, r2, g2, b2, a2)};
  Device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  Device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColouredVertex));
}

void DrawLine(const Vec3& p0, float r0, float g0, float b0, float a0,
              const Vec3& p1, float r1, float g1, float b1, float a1) {
  if (!Device) return;
  const ColouredVertex v[2] = {Coloured(p0, r0, g0, b0, a0), Coloured(p1, r1, g1, b1, a1)};
  Device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  Device->DrawPrimitiveUP(D3DPT_LINELIST, 1, v, sizeof(ColouredVertex));
}

void DrawBoxEdges(const Box& box, float r, float g, float b, float a) {
  if (!Device) return;
  const double x0 = box.worldMin.x, y0 = box.worldMin.y, z0 = box.worldMin.z;
  const double x1 = box.worldMax.x, y1 = box.worldMax.y, z1 = box.worldMax.z;
  auto edge = [&](const Vec3& p, const Vec3& q) { DrawLine(p, r, g, b, a, q, r, g, b, a); };
  edge({x0, y0, z1}, {x1, y0, z1});
  edge({x0, y1, z1}, {x1, y1, z1});
  edge({x0, y0, z0}, {x1, y0, z0});
  edge({x0, y1, z0}, {x1, y1, z0});
  edge({x0, y0, z1}, {x0, y1, z1});
  edge({x1, y0, z1}, {x1, y1, z1});
  edge({x0, y0, z0}, {x0, y1, z0});
  edge({x1, y0, z0}, {x1, y1, z0});
  edge({x0, y0, z0}, {x0, y0, z1});
  edge({x0, y1, z0}, {x0, y1, z1});
  edge({x1, y0, z0}, {x1, y0, z1});
  edge({x1, y1, z0}, {x1, y1, z1});
}

void DrawScreenQuadColoured(double x0, double y0, float r0, float g0, float b0, float a0,
                            double x1, double y1, float r1, float g1, float b1, float a1,
                            double x2, double y2, float r2, float g2, float b2, float a2,
                            double x3, double y3, float r3, float g3, float b3, float a3) {
  if (!Device) return;
  // Around the quad in, strip order out: 0, 1, 3, 2.
  const ColouredScreenVertex v[4] = {
      {float(x0), float(y0), 0, 1, PackColour(r0, g0, b0, a0)},
      {float(x1), float(y1), 0, 1, PackColour(r1, g1, b1, a1)},
      {float(x3), float(y3), 0, 1, PackColour(r3, g3, b3, a3)},
      {float(x2), float(y2), 0, 1, PackColour(r2, g2, b2, a2)}};
  Device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  Device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ColouredScreenVertex));
}

void DrawScreenQuadTextured(double x0, double y0, double u0, double v0,
                            double x1, double y1, double u1, double v1,
                            double x2, double y2, double u2, double v2,
                            double x3, double y3, double u3, double v3) {
  if (!Device) return;
  const TexturedScreenVertex v[4] = {{float(x0), float(y0), 0, 1, float(u0), float(v0)},
                                     {float(x1), float(y1), 0, 1, float(u1), float(v1)},
                                     {float(x3), float(y3), 0, 1, float(u3), float(v3)},
                                     {float(x2), float(y2), 0, 1, float(u2), float(v2)}};
  Device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  Device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexturedScreenVertex));
}
