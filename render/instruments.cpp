#include "render/instruments.h"

#include <algorithm>
#include <cmath>

#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "air/air.h"
#include "physics/body.h"
#include "physics/surface.h"
#include "platform/gpu/device.h"
#include "render/draw.h"
#include "render/shader_registers.h"
#include "sim/keys.h"

bool ShowInstrumentNeedles = true;

namespace {

constexpr double kDegrees = 180 / M_PI;

double Bearing(double x, double y) {
  double b = std::atan2(x, y) * kDegrees;
  if (b < 0) b += 360;
  return b >= 360 ? 0 : b;
}

// 270 degrees from seven-thirty to four-thirty.
double Sweep(double value, double full) { return -135 + 270 * Clamp(value / full, 0, 1); }

}  // namespace

FlightData ReadFlightData(const Tarnplane& a) {
  FlightData d;
  const pBody& f = *a.fuselage;
  const double* r = f.rotation.m;
  const Vec3 right{r[0], r[1], r[2]}, forward{r[3], r[4], r[5]}, up{r[6], r[7], r[8]};
  Vec3 air = AirVelocityAt(f.position);
  Vec3 through = f.velocity - air;
  d.airspeed = std::sqrt(Dot(through, through));
  d.groundSpeed = std::hypot(f.velocity.x, f.velocity.y);
  double ground = 0;
  // The surface right below: a wing over a cliff does not count.
  if (GroundHeightBelow(f.position, 0, &ground)) {
    d.hasHeight = true;
    d.height = f.position.z - ground;
  }
  d.climb = f.velocity.z;
  d.heading = Bearing(forward.x, forward.y);
  d.pitch = std::asin(Clamp(forward.z, -1, 1)) * kDegrees;
  d.bank = std::atan2(-right.z, up.z) * kDegrees;
  d.beatRate = a.beatRate;
  d.armed = a.flapArmed;
  d.powered = a.flapping;
  d.tailLevel = (KeyState[VK_SPACE] & 0x40) != 0;  // the toggle bit, flipped by every press
  d.pitchInput = a.pitchInput;
  d.rollInput = a.rollInput;
  if (air::Moving()) {
    d.wind = true;
    d.windSpeed = std::sqrt(Dot(air, air));
    d.windFrom = Bearing(-air.x, -air.y);
  }
  return d;
}

double NeedleAngle(Dial dial, const FlightData& d) {
  switch (dial) {
    case kDialAirspeed: return Sweep(d.airspeed, kAirspeedFullScale);
    case kDialAltimeter: {
      double turns = d.hasHeight ? std::max(0.0, d.height) / kAltimeterTurn : 0;
      return 360 * (turns - std::floor(turns));
    }
    case kDialVariometer: return -90 + 135 * Clamp(d.climb / kClimbFullScale, -1, 1);
    case kDialCompass: return d.heading;
    case kDialBeat: return Sweep(d.beatRate, kBeatFullScale);
    case kDialBank: return -Clamp(d.bank, -90, 90);
    default: return 0;
  }
}

void DrawInstrumentNeedles(const Tarnplane& a) {
  if (!Device || !a.fuselage) return;
  const content::AircraftParams& p = a.params;
  FlightData d = ReadFlightData(a);
  SetWorldTransform(kVertexWorld, a.fuselage->position, a.fuselage->orientation);
  Device->SetVertexShader(nullptr);
  Device->SetPixelShader(nullptr);
  Device->SetTexture(0, nullptr);
  // The dial faces: a 3 x 2 grid over the panel's back face (x across, z
  // down from its top), as the content builder maps the panel texture.
  const double x0 = -0.22, x1 = 0.22, zTop = 0.78, zBottom = p.fuselageHalfHeight - 0.02;
  const double y = p.panelY - 0.002;  // just in front of the face, behind the glass
  const double radius = 0.34 * std::min((x1 - x0) / 3, (zTop - zBottom) / 2) / 1;
  auto quad = [&](double cx, double cz, double angle, double back, double front, double half, float r, float g,
                  float b) {
    // A needle from `back` behind the hub to `front`, `half` wide each side,
    // turned clockwise from twelve o'clock as the pilot sees it (+X right, +Z up).
    double s = std::sin(angle * M_PI / 180), c = std::cos(angle * M_PI / 180);
    auto at = [&](double along, double across) {
      return Vec3{cx + along * s + across * c, y, cz + along * c - across * s};
    };
    Vec3 p0 = at(-back, -half), p1 = at(-back, half), p2 = at(front, half), p3 = at(front, -half);
    // Both windings: the cull mode drops one of them whichever side is seen.
    DrawColouredTriangle(p0, r, g, b, 1, p1, r, g, b, 1, p2, r, g, b, 1);
    DrawColouredTriangle(p0, r, g, b, 1, p2, r, g, b, 1, p3, r, g, b, 1);
    DrawColouredTriangle(p0, r, g, b, 1, p2, r, g, b, 1, p1, r, g, b, 1);
    DrawColouredTriangle(p0, r, g, b, 1, p3, r, g, b, 1, p2, r, g, b, 1);
  };
  for (int i = 0; i < kDialCount; i++) {
    const int column = i % 3, row = i / 3;
    double cx = x0 + (x1 - x0) * (column + 0.5) / 3, cz = zTop - (zTop - zBottom) * (row + 0.5) / 2;
    double angle = NeedleAngle(Dial(i), d);
    if (i == kDialBank) {
      // The horizon bar across the whole dial and a fixed aircraft mark.
      quad(cx, cz, angle + 90, radius, radius, radius * 0.03, 0.3f, 0.8f, 1.0f);
      quad(cx, cz, 90, radius * 0.4, radius * 0.4, radius * 0.025, 1.0f, 0.6f, 0.15f);
      continue;
    }
    quad(cx, cz, angle, radius * 0.15, radius, radius * 0.045, 1.0f, 0.6f, 0.15f);
    if (i == kDialAltimeter) {
      // The short hand: a turn per thousand metres.
      double turns = d.hasHeight ? std::max(0.0, d.height) / (10 * kAltimeterTurn) : 0;
      quad(cx, cz, 360 * (turns - std::floor(turns)), radius * 0.1, radius * 0.6, radius * 0.07, 0.95f, 0.95f,
           0.9f);
    }
  }
}
