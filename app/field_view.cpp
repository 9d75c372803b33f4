#include "app/field_view.h"

#include <cmath>

#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "app/camera.h"
#include "app/stick.h"
#include "physics/body.h"
#include "render/view.h"

bool FieldView = false;

namespace {
double savedFieldOfView = 60;
}

Vec3 FieldEye(double x, double y) {
  double ground = 0;
  if (!GroundHeightBelow(Vec3{x, y, 1e6}, 0, &ground)) ground = 0;
  return Vec3{x, y, ground + kFieldEyeHeight};
}

FieldAim AimFieldCamera(const Vec3& eye, const Vec3& target) {
  Vec3 d = target - eye;
  double distance = std::sqrt(Dot(d, d));
  FieldAim aim;
  if (distance < 1e-9) {
    aim.orientation = Quat{0, 0, 0, 1};
    aim.fieldOfView = kFieldMaxFov;
    return aim;
  }
  // Yaw about the world's up axis, then pitch about the camera's own right
  // axis, as the mouse look turns: the horizon stays level.
  double yaw = std::atan2(-d.x, d.y), pitch = std::asin(Clamp(d.z / distance, -1, 1));
  aim.orientation = QuatMul(QuatFromAxisAngle(Vec3{0, 0, 1}, yaw), QuatFromAxisAngle(Vec3{1, 0, 0}, pitch));
  double subject = 2 * std::atan(kFieldSubjectSize / 2 / distance) * 180 / M_PI;
  aim.fieldOfView = Clamp(subject / kFieldSubjectShare, kFieldMinFov, kFieldMaxFov);
  return aim;
}

void ToggleFieldView() {
  FieldView = !FieldView;
  if (FieldView) savedFieldOfView = FieldOfView;
  else FieldOfView = savedFieldOfView;
}

void PlaceFieldCamera() {
  if (!FieldView || !CurrentAircraft || !CurrentAircraft->fuselage) return;
  Vec3 eye = FieldEye(UserSettings.fieldSpot[0], UserSettings.fieldSpot[1]);
  FieldAim aim = AimFieldCamera(eye, CurrentAircraft->fuselage->position);
  CameraPosition = eye;
  CameraOrientation = aim.orientation;
  FieldOfView = aim.fieldOfView;
  // The keyboard and the mouse do not fly this eye.
  FreeCamera = false;
}
