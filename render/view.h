// The view state: the eye, the light and the screen rectangle. Read by the
// frame set-up and the transforms (render/draw.h), written by the camera code
// and the scene reset. Plain values in a library of their own, so programs
// without a device (the flight runner) keep the same state.
//
// View space: X right, Y forward (depth), Z up.
#pragma once
#include <cstdint>

#include "foundation/math.h"

// View state, read by SetupFrame and the transforms.
extern Vec3 CameraPosition;     // world position of the eye, metres
extern Quat CameraOrientation;  // rotation from view space to world space
extern double FieldOfView;      // vertical, degrees
extern Vec3 LightDirection;     // unit, world
extern float ShaderColour0[3];  // RGB for pixel register c0
extern float ShaderColour1[3];  // RGB for pixel register c1
extern float ShaderColour3[3];  // RGB for pixel register c3

// The size of the design's head-up lines (heading, altitude, speed): their
// heights and places are multiplied by it. 1, as designed, by default.
extern double HeadUpScale;

// Written by SetupFrame from the viewport (pixels).
extern int32_t ScreenCentreX, ScreenCentreY;
extern int32_t ScreenLeft, ScreenTop;
extern int32_t ScreenRight, ScreenBottom;
