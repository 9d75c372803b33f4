#include "render/ground_shadow.h"

#include <cmath>
#include <vector>

#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "content/builders.h"
#include "physics/body.h"
#include "physics/debug_draw.h"
#include "platform/gpu/device.h"
#include "render/draw.h"
#include "render/shader_registers.h"
#include "render/view.h"

namespace {

// The sample spacing of the local ground plane (metres): wider than a
// bump, narrower than the island's 10 m grid cells.
constexpr double kPlaneReach = 3.0;

double GroundOrSea(double x, double y, double z) {
  double h = 0;
  if (!GroundHeightBelow(Vec3{x, y, z}, 0, &h)) return content::kSeaLevel;
  return h;
}

// Collects the bodies' shadow triangles (given in the world at the flattened
// height) and lays them on the ground plane, camera-relative, for one draw.
class ShadowSink : public DebugDraw {
 public:
  ShadowSink(const GroundPlane& plane, const Vec3& under) : plane_(plane), under_(under) {}
  void Untextured() override {}
  void SetMode(DebugMode mode) override { shadow_ = mode == DebugMode::Shadow; }
  void SetPose(const Vec3& position, const Quat& orientation) override {
    position_ = position;
    orientation_ = orientation;
  }
  void Triangle(const Vec3& p0, float, float, float, float a0, const Vec3& p1, float, float, float, float a1,
                const Vec3& p2, float, float, float, float a2) override {
    if (!shadow_) return;
    Put(p0, a0);
    Put(p1, a1);
    Put(p2, a2);
  }
  void Line(const Vec3&, float, float, float, float, const Vec3&, float, float, float, float) override {}
  void BoxEdges(const Box&, float, float, float, float) override {}
  const std::vector<ColouredVertex>& vertices() const { return vertices_; }

 private:
  void Put(const Vec3& p, float alpha) {
    const Vec3 w = position_ + Rotate(orientation_, p);
    // Lifted clear of the ground by more than the depth buffer resolves at
    // that distance (it resolves about d^2 / (near * 2^24)), so the shadow
    // neither flickers into the ground nor floats visibly above it.
    const double z = plane_.At(w.x, w.y, under_);
    const Vec3 r{w.x - CameraPosition.x, w.y - CameraPosition.y, z - CameraPosition.z};
    const double d2 = r.x * r.x + r.y * r.y + r.z * r.z;
    const double lift = 0.03 + 2e-6 * d2;
    vertices_.push_back({float(r.x), float(r.y), float(r.z + lift), PackColour(0, 0, 0, alpha)});
  }

  GroundPlane plane_;
  Vec3 under_;
  Vec3 position_{0, 0, 0};
  Quat orientation_{0, 0, 0, 1};
  bool shadow_ = false;
  std::vector<ColouredVertex> vertices_;
};

}  // namespace

double GroundShadowIntensity(double height) { return 1.0 / (1.0 + std::max(0.0, height) / 80.0); }

GroundPlane GroundPlaneBelow(const Vec3& p) {
  const double c = GroundOrSea(p.x, p.y, p.z);
  const double east = GroundOrSea(p.x + kPlaneReach, p.y, p.z), west = GroundOrSea(p.x - kPlaneReach, p.y, p.z);
  const double north = GroundOrSea(p.x, p.y + kPlaneReach, p.z), south = GroundOrSea(p.x, p.y - kPlaneReach, p.z);
  return {c, (east - west) / (2 * kPlaneReach), (north - south) / (2 * kPlaneReach)};
}

void DrawGroundShadow(const Tarnplane& a) {
  if (!Device || !a.fuselage) return;
  const Vec3 under = a.fuselage->position;
  const GroundPlane plane = GroundPlaneBelow(under);
  ShadowSink sink(plane, under);
  const double intensity = GroundShadowIntensity(under.z - plane.c);
  for (pEntity* e : a.parts)
    if (e) e->DrawDetail(sink, intensity);
  if (sink.vertices().empty()) return;

  Device->SetVertexShader(nullptr);
  Device->SetPixelShader(nullptr);
  Device->SetTexture(0, nullptr);
  // Camera-relative vertices: the world transform is the identity.
  SetWorldTransform(kVertexWorld, CameraPosition, Quat{0, 0, 0, 1});
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
  Device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  Device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  Device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, uint32_t(sink.vertices().size() / 3), sink.vertices().data(),
                          sizeof(ColouredVertex));
  Device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  Device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
}
