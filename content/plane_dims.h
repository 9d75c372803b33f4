// Every dimension of the aircraft model, in model metres (the model is
// written in raw units of 2 cm and loaded with scale 0.02). Model axes: +Y
// forward, +X right, +Z up, origin in the fuselage's middle. Tune here.
#pragma once

namespace content {
namespace plane {

constexpr double kScale = 0.02;  // metres per raw unit

// Fuselage proxy: a box around the origin.
constexpr double kFuselageHalfWidth = 0.4;
constexpr double kFuselageHalfLength = 2.0;
constexpr double kFuselageHalfHeight = 0.5;
// Display hull: from the tail boom's end (under the fin's trailing edge) to
// the nose tip.
constexpr double kHullTailY = -4.05;
constexpr double kHullNoseY = 2.08;

// Ballast block on the fuselage floor.
constexpr double kBallastHalfWidth = 0.2;
constexpr double kBallastHalfLength = 0.3;
constexpr double kBallastHeight = 0.2;

// Wings: inner panels from the fuselage side to the break, outer panels on to
// the tip, each side. Chord along Y centred on kWingChordCentreY.
constexpr double kWingRootX = 0.4;
constexpr double kWingBreakX = 2.0;
constexpr double kWingTipX = 4.0;
constexpr double kWingChord = 1.0;
constexpr double kWingChordCentreY = 0.0;
constexpr double kWingThickness = 0.08;
constexpr double kWingCamber = 0.03;  // display camber of the airfoil
constexpr double kWingZ = 0.3;

// Horizontal tail (span along X), leading edge at kTailLeadingY, trailing
// edge at kTailTrailingY.
constexpr double kTailLeadingY = -2.3;
constexpr double kTailTrailingY = -3.0;
constexpr double kTailHalfSpan = 0.9;
constexpr double kTailThickness = 0.05;
constexpr double kTailZ = 0.0;
// Fin (height along Z) on a tail boom. Its area times its lever arm behind the
// centre of mass is the machine's weathercock stability and yaw damping: the
// roll control twists the two outer wings differently, whose thrust difference
// yaws the machine, and only a fin this large this far back keeps the nose
// along the flight path, so the machine turns at a steady rate instead of
// spinning flat. A smaller fin, or one nearer the wings, lets the yaw run
// away into a flat spin.
constexpr double kFinLeadingY = -2.6;
constexpr double kFinTrailingY = -4.0;
constexpr double kFinBaseZ = 0.03;
constexpr double kFinHeight = 1.5;

// Legs: thigh and shin, then a foot; hips below the fuselage sides.
constexpr double kHipX = 0.3;
constexpr double kHipY = 0.3;
constexpr double kHipZ = -0.5;
constexpr double kThighLength = 0.6;
constexpr double kShinLength = 0.6;
constexpr double kLegHalfThickness = 0.06;
constexpr double kFootBottomZ = -1.85;
constexpr double kFootLength = 0.5;
constexpr double kFootBack = 0.15;  // foot behind the ankle
constexpr double kFootHalfWidth = 0.11;

// Balloon: a streamlined envelope above the fuselage, fuller forward.
constexpr double kBalloonCentreZ = 5.0;
constexpr double kBalloonRadius = 1.3;
constexpr double kBalloonFrontLength = 2.3;  // from the centre to the nose (+Y)
constexpr double kBalloonRearLength = 2.9;   // from the centre to the tail (-Y)
constexpr int kBalloonProxySegments = 16;
constexpr int kBalloonProxyRings = 12;

// Straps: from the fuselage top corners to the balloon's underside.
constexpr double kStrapX = 0.4;
constexpr double kStrapY = 1.5;
constexpr double kStrapZ = 0.5;
constexpr double kStrapTopX = 0.45;   // balloon end, on the envelope
constexpr double kStrapTopY = 1.6;
constexpr double kStrapHalfWidth = 0.012;

// Cockpit: pilot's eye (the camera mount), seat, panel, canopy and yoke.
constexpr double kEyeY = 0.5;
constexpr double kEyeZ = 0.85;
constexpr double kCameraHalfSize = 0.05;
constexpr double kCanopyCentreY = 0.75;
constexpr double kCanopyBaseZ = 0.46;
constexpr double kCanopyHalfWidth = 0.34;
constexpr double kCanopyHalfLength = 0.8;
constexpr double kCanopyHeight = 0.52;
constexpr double kPanelY = 1.22;
constexpr double kYokeY = 0.95;  // the yoke's wheel centre (its pivot)
constexpr double kYokeZ = 0.68;

}  // namespace plane
}  // namespace content
