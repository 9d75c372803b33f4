// The physics debug sink over the graphics device: the entities' pictures
// drawn with the frame's immediate primitives, in world transform register 8.
// Does nothing without a device.
#pragma once
#include "physics/debug_draw.h"

class DeviceDebugDraw : public DebugDraw {
 public:
  void Untextured() override;
  void SetMode(DebugMode mode) override;
  void SetPose(const Vec3& position, const Quat& orientation) override;
  void Triangle(const Vec3& p0, float r0, float g0, float b0, float a0,
                const Vec3& p1, float r1, float g1, float b1, float a1,
                const Vec3& p2, float r2, float g2, float b2, float a2) override;
  void Line(const Vec3& p0, float r0, float g0, float b0, float a0,
            const Vec3& p1, float r1, float g1, float b1, float a1) override;
  void BoxEdges(const Box& box, float r, float g, float b, float a) override;
};
