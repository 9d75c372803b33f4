#include "render/debug_draw.h"

#include "platform/gpu/device.h"
#include "render/draw.h"
#include "render/shader_registers.h"

void DeviceDebugDraw::Untextured() {
  if (!Device) return;
  Device->SetVertexShader(nullptr);
  Device->SetPixelShader(nullptr);
  Device->SetTexture(0, nullptr);
}

void DeviceDebugDraw::SetMode(DebugMode mode) {
  if (!Device) return;
  switch (mode) {
    case DebugMode::Solid:
      Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
      Device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
      Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
      break;
    case DebugMode::Shadow:
      Device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
      Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
      Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      break;
    case DebugMode::Overlay:
      Device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
      Device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
      Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
      break;
  }
}

void DeviceDebugDraw::SetPose(const Vec3& position, const Quat& orientation) {
  SetWorldTransform(kVertexWorld, position, orientation);
}

void DeviceDebugDraw::Triangle(const Vec3& p0, float r0, float g0, float b0, float a0,
                               const Vec3& p1, float r1, float g1, float b1, float a1,
                               const Vec3& p2, float r2, float g2, float b2, float a2) {
  DrawColouredTriangle(p0, r0, g0, b0, a0, p1, r1, g1, b1, a1, p2, r2, g2, b2, a2);
}

void DeviceDebugDraw::Line(const Vec3& p0, float r0, float g0, float b0, float a0,
                           const Vec3& p1, float r1, float g1, float b1, float a1) {
  DrawLine(p0, r0, g0, b0, a0, p1, r1, g1, b1, a1);
}

void DeviceDebugDraw::BoxEdges(const Box& box, float r, float g, float b, float a) {
  DrawBoxEdges(box, r, g, b, a);
}
