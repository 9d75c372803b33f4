// The field pilot's view: the eye of a pilot standing at a spot on the
// island, as a radio-control pilot flies, turning to keep the aircraft in
// the middle of the picture and zooming so that it stays a readable size.
// Its own key selects it and brings the camera back; the C cycle is
// untouched.
#pragma once
#include "foundation/math.h"

extern bool FieldView;  // the field pilot's view is in force

constexpr double kFieldEyeHeight = 1.7;     // metres above the ground at the spot
constexpr double kFieldSubjectSize = 10;    // metres the zoom frames: span and balloon
constexpr double kFieldSubjectShare = 0.3;  // of the picture's height it fills
constexpr double kFieldMinFov = 4, kFieldMaxFov = 70;  // degrees, the zoom's range

// The eye at world (x, y): kFieldEyeHeight over the highest ground there (0
// where there is none).
Vec3 FieldEye(double x, double y);

// The camera at `eye` aimed at `target` (world metres): its orientation
// (view space X right, Y forward, Z up, to world) and the vertical field of
// view in degrees that frames kFieldSubjectSize at kFieldSubjectShare.
struct FieldAim {
  Quat orientation;
  double fieldOfView;
};
FieldAim AimFieldCamera(const Vec3& eye, const Vec3& target);

// Turns the view on (remembering the field of view) or off (restoring it).
void ToggleFieldView();
// While on: places the eye at the settings' spot and aims it at the
// aircraft. After the frame's camera placement, before drawing.
void PlaceFieldCamera();
