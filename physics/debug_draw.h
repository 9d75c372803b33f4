// The sink the physics entities describe their pictures to: the debug view
// (F12) and the shadows of the normal view. The physics never draws itself;
// the drawing layer implements this over the graphics device, and a program
// without one simply never asks for a picture.
//
// Positions are world metres unless a pose is set (then they are in the
// frame of that pose); colours are red, green, blue, alpha in 0..1.
#pragma once
#include "foundation/math.h"

enum class DebugMode {
  Solid,    // opaque, depth-tested and depth-written: every picture returns to it
  Shadow,   // alpha-blended, depth-tested, no depth writes
  Overlay,  // alpha-blended on top of everything: no depth test, no depth writes
};

class DebugDraw {
 public:
  virtual ~DebugDraw() = default;
  // Colours from the vertices alone: no shaders, no texture.
  virtual void Untextured() = 0;
  virtual void SetMode(DebugMode mode) = 0;
  // Places what follows: model frame at `position` turned by `orientation`.
  virtual void SetPose(const Vec3& position, const Quat& orientation) = 0;
  virtual void Triangle(const Vec3& p0, float r0, float g0, float b0, float a0,
                        const Vec3& p1, float r1, float g1, float b1, float a1,
                        const Vec3& p2, float r2, float g2, float b2, float a2) = 0;
  virtual void Line(const Vec3& p0, float r0, float g0, float b0, float a0,
                    const Vec3& p1, float r1, float g1, float b1, float a1) = 0;
  // The 12 edges of the box's world hull.
  virtual void BoxEdges(const Box& box, float r, float g, float b, float a) = 0;
};
