// The aircraft's shadow on the ground or the sea straight below it: every
// body's shadow triangles (pBody::DrawDetail), dropped vertically onto the
// ground's local plane under the fuselage, drawn in one translucent draw that
// fades with the height, so that the shadow says how high the aircraft is.
#pragma once
#include "foundation/math.h"

struct Tarnplane;

// Darkness of the shadow's alpha per metre of height of the fuselage above
// the ground: 1 on the ground, 1/2 at 80 m, never quite 0 (in 0..1].
double GroundShadowIntensity(double heightMetres);

// Height (world metres) of the ground's local plane under `point` at (x, y):
// the plane through the ground heights around point's vertical; the sea level
// where no ground lies below. Returns the plane as z = c + gx * (x - point.x)
// + gy * (y - point.y).
struct GroundPlane {
  double c, gx, gy;
  double At(double x, double y, const Vec3& point) const { return c + gx * (x - point.x) + gy * (y - point.y); }
};
GroundPlane GroundPlaneBelow(const Vec3& point);

// Draws the shadow (nothing without a device or an aircraft).
void DrawGroundShadow(const Tarnplane& aircraft);
