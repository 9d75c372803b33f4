// The aircraft file: every number that shapes the machine (its geometry, the
// bodies' masses and surface settings, the hinges' limits and servo angles,
// the straps, the wing beat and the control law, the start pose) in one INI
// text. One table (AIRCRAFT_VALUES below) drives the struct, the reader, the
// writer and the documentation, so none of them can drift from the others.
//
// Units as the file states them: lengths in model metres (model axes: +Y
// forward, +X right, +Z up, origin in the fuselage's middle), masses in kg,
// angles in degrees, rates in cycles per second, times in seconds.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace content {

// X(type, section, key, member, default, min, max, unit, comment)
// type: D a real number, I a whole number, A an angle in degrees (stored in
// degrees; the simulation converts with Radians()).
#define AIRCRAFT_VALUES(X)                                                                                          \
  X(D, start, x, startX, 70, -10000, 10000, "m", "start position, world east (the meadow is at 70, 70)")            \
  X(D, start, y, startY, 70, -10000, 10000, "m", "start position, world north")                                    \
  X(D, start, z, startZ, 2, -100, 1000, "m", "start height of the model origin, world up")                          \
  X(A, start, heading, startHeading, 90, -360, 360, "deg", "turn of the model about world up (90: nose to world -X)") \
  X(D, fuselage, half_width, fuselageHalfWidth, 0.4, 0.05, 5, "m", "proxy box half width (X)")                     \
  X(D, fuselage, half_length, fuselageHalfLength, 2.0, 0.1, 20, "m", "proxy box half length (Y)")                  \
  X(D, fuselage, half_height, fuselageHalfHeight, 0.5, 0.05, 5, "m", "proxy box half height (Z)")                  \
  X(D, fuselage, hull_tail_y, hullTailY, -4.05, -40, -3.05, "m", "display hull: end of the tail boom (behind its last station at -3)")              \
  X(D, fuselage, hull_nose_y, hullNoseY, 2.08, 1.95, 40, "m", "display hull: nose tip (ahead of its last station at 1.9)")                             \
  X(D, fuselage, build_mass, fuselageBuildMass, 550, 0.1, 100000, "kg", "mass the bare hull is built with before the ballast is added") \
  X(D, fuselage, mass, fuselageMass, 1500, 0.1, 100000, "kg", "final mass of fuselage and ballast together")      \
  X(D, fuselage, buoyancy, fuselageBuoyancy, 1.0, 0, 10000, "", "buoyancy factor (default body 0.1)")              \
  X(D, fuselage, drag_scale, fuselageDragScale, 0.3, 0, 1000, "", "surface pressure scale")                        \
  X(I, fuselage, surface_period, fuselageSurfacePeriod, 5, -1, 100, "steps", "surface force every period+1 steps; -1 none") \
  X(D, fuselage, friction_limit, fuselageFrictionLimit, 1.0, 0, 1000, "", "ground friction limit")                  \
  X(D, ballast, half_width, ballastHalfWidth, 0.2, 0.01, 5, "m", "ballast block half width, on the fuselage floor") \
  X(D, ballast, half_length, ballastHalfLength, 0.3, 0.01, 20, "m", "ballast block half length")                   \
  X(D, ballast, height, ballastHeight, 0.2, 0.01, 5, "m", "ballast block height")                                   \
  X(I, ballast, copies, ballastCopies, 3, 0, 20, "", "times the ballast mesh is added to the fuselage's mesh (weights mass, volume, surface)") \
  X(D, wing, root_x, wingRootX, 0.4, 0.05, 20, "m", "inner panel's root, each side (its hinge)")                   \
  X(D, wing, break_x, wingBreakX, 2.0, 0.1, 40, "m", "break between inner and outer panel (the outer hinge)")       \
  X(D, wing, tip_x, wingTipX, 4.0, 0.2, 60, "m", "wing tip")                                                      \
  X(D, wing, chord, wingChord, 1.0, 0.05, 20, "m", "chord of both panels")                                         \
  X(D, wing, chord_centre_y, wingChordCentreY, 0.0, -20, 20, "m", "chord centre along Y (the hinges' Y)")          \
  X(D, wing, thickness, wingThickness, 0.08, 0.005, 2, "m", "panel thickness")                                     \
  X(D, wing, camber, wingCamber, 0.03, -0.5, 0.5, "m", "display camber of the airfoil")                            \
  X(D, wing, z, wingZ, 0.3, -10, 10, "m", "height of the panels' mid plane")                                       \
  X(D, wing, outer_mass, outerWingMass, 50, 0.1, 100000, "kg", "mass of each outer panel")                         \
  X(D, wing, outer_buoyancy, outerWingBuoyancy, 0.1, 0, 10000, "", "buoyancy factor of each outer panel")          \
  X(D, wing, outer_drag_scale, outerWingDragScale, 2.0, 0, 1000, "", "surface pressure scale of the outer panels") \
  X(I, wing, outer_surface_period, outerWingSurfacePeriod, 0, -1, 100, "steps", "outer panels' surface period")    \
  X(D, wing, outer_boost, outerWingBoost, 7, 0, 1000, "", "pressure factor of a face moving along the stroke direction (G: down, V: up)") \
  X(D, wing, outer_boost_exponent, outerWingBoostExponent, 0.5, 0.01, 10, "", "how sharply the boost follows the motion's direction") \
  X(D, wing, inner_mass, innerWingMass, 50, 0.1, 100000, "kg", "mass of each inner panel")                         \
  X(D, wing, inner_buoyancy, innerWingBuoyancy, 0.1, 0, 10000, "", "buoyancy factor of each inner panel")          \
  X(D, wing, inner_drag_scale, innerWingDragScale, 1.0, 0, 1000, "", "surface pressure scale of the inner panels") \
  X(I, wing, inner_surface_period, innerWingSurfacePeriod, -1, -1, 100, "steps", "inner panels' surface period (-1: structure only)") \
  X(A, wing, root_min, wingRootMin, -60, -180, 180, "deg", "root hinge lower limit as built")                     \
  X(A, wing, root_max, wingRootMax, 60, -180, 180, "deg", "root hinge upper limit as built")                      \
  X(A, wing, outer_min, wingOuterMin, -60, -180, 180, "deg", "outer hinge lower limit as built")                  \
  X(A, wing, outer_max, wingOuterMax, 60, -180, 180, "deg", "outer hinge upper limit as built")                   \
  X(D, wing, friction_limit, wingFrictionLimit, 1.0, 0, 1000, "", "ground friction limit of all four panels")        \
  X(D, tail, leading_y, tailLeadingY, -2.3, -40, 10, "m", "horizontal tail's leading edge (its hinge)")            \
  X(D, tail, trailing_y, tailTrailingY, -3.0, -40, 10, "m", "horizontal tail's trailing edge")                     \
  X(D, tail, half_span, tailHalfSpan, 0.9, 0.05, 20, "m", "horizontal tail's half span")                           \
  X(D, tail, thickness, tailThickness, 0.05, 0.005, 2, "m", "thickness of the tail and the fin")                   \
  X(D, tail, z, tailZ, 0.0, -10, 10, "m", "height of the horizontal tail")                                         \
  X(D, tail, mass, tailMass, 40, 0.1, 100000, "kg", "horizontal tail's mass")                                      \
  X(D, tail, buoyancy, tailBuoyancy, 0.1, 0, 10000, "", "horizontal tail's buoyancy factor")                       \
  X(D, tail, drag_scale, tailDragScale, 5, 0, 1000, "", "horizontal tail's surface pressure scale")                \
  X(I, tail, surface_period, tailSurfacePeriod, 2, -1, 100, "steps", "horizontal tail's surface period")            \
  X(D, tail, friction_limit, tailFrictionLimit, 1.0, 0, 1000, "", "horizontal tail's ground friction limit")       \
  X(A, tail, hinge_min, tailHingeMin, -65, -180, 180, "deg", "tail hinge lower limit as built")                    \
  X(A, tail, hinge_max, tailHingeMax, 45, -180, 180, "deg", "tail hinge upper limit as built")                     \
  X(A, tail, raised, tailRaised, -55, -360, 360, "deg", "tail setting with the Space toggle clear")                \
  X(A, tail, level, tailLevel, -10, -360, 360, "deg", "tail setting with the Space toggle set")                    \
  X(D, tail, servo_gain, tailServoGain, 0.5, -10, 10, "", "hinge angle per degree of tail setting")                \
  X(D, fin, leading_y, finLeadingY, -2.6, -40, 10, "m", "fin's leading edge (its hinge)")                          \
  X(D, fin, trailing_y, finTrailingY, -4.0, -40, 10, "m", "fin's trailing edge (on the tail boom)")                \
  X(D, fin, base_z, finBaseZ, 0.03, -10, 10, "m", "fin's foot")                                                    \
  X(D, fin, height, finHeight, 1.5, 0.05, 20, "m", "fin's height")                                                 \
  X(D, fin, mass, finMass, 40, 0.1, 100000, "kg", "fin's mass")                                                    \
  X(D, fin, buoyancy, finBuoyancy, 0.1, 0, 10000, "", "fin's buoyancy factor")                                     \
  X(D, fin, drag_scale, finDragScale, 5, 0, 1000, "", "fin's surface pressure scale")                              \
  X(I, fin, surface_period, finSurfacePeriod, 2, -1, 100, "steps", "fin's surface period")                          \
  X(D, fin, friction_limit, finFrictionLimit, 1.0, 0, 1000, "", "fin's ground friction limit")                     \
  X(A, fin, hinge_min, finHingeMin, -60, -180, 180, "deg", "fin hinge lower limit as built")                       \
  X(A, fin, hinge_max, finHingeMax, 60, -180, 180, "deg", "fin hinge upper limit as built")                        \
  X(A, fin, angle, finAngle, 0, -180, 180, "deg", "angle the fin is held at")                                      \
  X(D, legs, hip_x, hipX, 0.3, 0, 10, "m", "hips, each side")                                                      \
  X(D, legs, hip_y, hipY, 0.3, -20, 20, "m", "hips along Y")                                                       \
  X(D, legs, hip_z, hipZ, -0.5, -10, 10, "m", "hips' height")                                                      \
  X(D, legs, thigh_length, thighLength, 0.6, 0.05, 10, "m", "hip to knee")                                         \
  X(D, legs, shin_length, shinLength, 0.6, 0.05, 10, "m", "knee to ankle")                                         \
  X(D, legs, half_thickness, legHalfThickness, 0.06, 0.005, 1, "m", "leg segments' half thickness")                \
  X(D, legs, foot_bottom_z, footBottomZ, -1.85, -20, 10, "m", "sole's height")                                     \
  X(D, legs, foot_length, footLength, 0.5, 0.02, 5, "m", "foot length")                                            \
  X(D, legs, foot_back, footBack, 0.15, -5, 5, "m", "foot's heel behind the ankle")                                \
  X(D, legs, foot_half_width, footHalfWidth, 0.11, 0.01, 2, "m", "foot half width")                                \
  X(D, legs, thigh_mass, thighMass, 50, 0.1, 100000, "kg", "upper segment's mass")                                 \
  X(D, legs, shin_mass, shinMass, 40, 0.1, 100000, "kg", "middle segment's mass")                                  \
  X(D, legs, foot_mass, footMass, 30, 0.1, 100000, "kg", "foot's mass")                                            \
  X(D, legs, buoyancy, legBuoyancy, 0.1, 0, 10000, "", "buoyancy factor of every segment")                         \
  X(D, legs, drag_scale, legDragScale, 1.0, 0, 1000, "", "surface pressure scale of every segment")                \
  X(I, legs, surface_period, legSurfacePeriod, -1, -1, 100, "steps", "surface period of every segment (-1: structure only)") \
  X(D, legs, friction_limit, legFrictionLimit, 1.0, 0, 1000, "", "ground friction limit of the upper segments")    \
  X(D, legs, foot_friction_limit, footFrictionLimit, 10, 0, 1000, "", "ground friction limit of the feet")         \
  X(A, legs, hip_min, hipMin, -85, -180, 180, "deg", "hip lower limit as built")                                   \
  X(A, legs, hip_max, hipMax, 85, -180, 180, "deg", "hip upper limit as built")                                    \
  X(A, legs, hip_angle, hipAngle, 10, -180, 180, "deg", "angle the hip is held at")                                \
  X(A, legs, knee_min, kneeMin, -85, -180, 180, "deg", "knee lower limit as built")                                \
  X(A, legs, knee_max, kneeMax, 60, -180, 180, "deg", "knee upper limit as built")                                 \
  X(A, legs, knee_angle, kneeAngle, -25, -180, 180, "deg", "angle the knee is held at")                            \
  X(A, legs, ankle_min, ankleMin, -120, -180, 180, "deg", "ankle lower limit as built")                            \
  X(A, legs, ankle_max, ankleMax, 120, -180, 180, "deg", "ankle upper limit as built")                             \
  X(A, legs, ankle_angle, ankleAngle, 15, -180, 180, "deg", "angle the ankle is held at")                          \
  X(D, balloon, centre_z, balloonCentreZ, 5.0, 0.5, 200, "m", "envelope's centre above the model origin")          \
  X(D, balloon, radius, balloonRadius, 1.3, 0.1, 50, "m", "envelope's radius across")                              \
  X(D, balloon, front_length, balloonFrontLength, 2.3, 0.1, 100, "m", "centre to nose (+Y)")                       \
  X(D, balloon, rear_length, balloonRearLength, 2.9, 0.1, 100, "m", "centre to tail (-Y)")                         \
  X(I, balloon, proxy_segments, balloonProxySegments, 16, 3, 64, "", "physics mesh: faces around")                 \
  X(I, balloon, proxy_rings, balloonProxyRings, 12, 2, 64, "", "physics mesh: bands along")                        \
  X(D, balloon, mass, balloonMass, 50, 0.1, 100000, "kg", "envelope's mass")                                       \
  X(D, balloon, buoyancy, balloonBuoyancy, 100, 0, 100000, "", "buoyancy factor (lifting gas)")                    \
  X(D, balloon, drag_scale, balloonDragScale, 15, 0, 1000, "", "surface pressure scale")                           \
  X(I, balloon, surface_period, balloonSurfacePeriod, 2, -1, 100, "steps", "surface period")                        \
  X(D, balloon, friction_limit, balloonFrictionLimit, 1.0, 0, 1000, "", "ground friction limit")                   \
  X(D, balloon, forward_factor, balloonForwardFactor, 0.05, 0, 1000, "", "pressure factor moving nose first (+Y)") \
  X(D, balloon, forward_exponent, balloonForwardExponent, 0.5, 0.01, 10, "", "its direction exponent")             \
  X(D, balloon, backward_factor, balloonBackwardFactor, 0.1, 0, 1000, "", "pressure factor moving tail first (-Y)") \
  X(D, balloon, backward_exponent, balloonBackwardExponent, 0.5, 0.01, 10, "", "its direction exponent")           \
  X(D, straps, x, strapX, 0.4, 0, 10, "m", "fuselage ends, each side")                                             \
  X(D, straps, y, strapY, 1.5, 0, 20, "m", "fuselage ends, fore and aft")                                          \
  X(D, straps, z, strapZ, 0.5, -10, 10, "m", "fuselage ends' height")                                              \
  X(D, straps, top_x, strapTopX, 0.45, 0, 50, "m", "balloon ends, each side (on the envelope's underside)")        \
  X(D, straps, top_y, strapTopY, 1.6, 0, 100, "m", "balloon ends, fore and aft")                                   \
  X(D, straps, half_width, strapHalfWidth, 0.012, 0.001, 1, "m", "drawn strap's half width")                       \
  X(D, straps, stiffness, strapStiffness, 0.04, 0, 10, "", "strap stiffness; the rest length is the built length") \
  X(D, cockpit, eye_y, eyeY, 0.5, -20, 20, "m", "pilot's eye (the camera mount)")                                  \
  X(D, cockpit, eye_z, eyeZ, 0.85, -10, 10, "m", "pilot's eye height")                                             \
  X(D, cockpit, camera_half_size, cameraHalfSize, 0.05, 0.005, 1, "m", "camera mount's half size")                 \
  X(D, cockpit, camera_mass, cameraMass, 20, 0.1, 100000, "kg", "camera mount's mass")                             \
  X(D, cockpit, camera_buoyancy, cameraBuoyancy, 0.1, 0, 10000, "", "camera mount's buoyancy factor")              \
  X(D, cockpit, camera_drag_scale, cameraDragScale, 1.0, 0, 1000, "", "camera mount's surface pressure scale")     \
  X(I, cockpit, camera_surface_period, cameraSurfacePeriod, 0, -1, 100, "steps", "camera mount's surface period")  \
  X(D, cockpit, camera_friction_limit, cameraFrictionLimit, 1.0, 0, 1000, "", "camera mount's ground friction limit") \
  X(D, cockpit, camera_drop, cameraDrop, 1, 0, 10, "m", "the mount's hinge sits this far below the eye")           \
  X(A, cockpit, camera_min, cameraMin, -45, -180, 180, "deg", "mount hinge lower limit as built")                  \
  X(A, cockpit, camera_max, cameraMax, 45, -180, 180, "deg", "mount hinge upper limit as built")                   \
  X(A, cockpit, camera_angle, cameraAngle, 0, -180, 180, "deg", "angle the mount is held at")                      \
  X(D, cockpit, camera_strength, cameraStrength, 0.2, 0, 10, "", "mount hinge strength (soft)")                    \
  X(D, cockpit, camera_axial_lock, cameraAxialLock, 0.1, 0, 10, "", "mount hinge axial lock")                      \
  X(D, cockpit, canopy_centre_y, canopyCentreY, 0.75, -20, 20, "m", "canopy's centre")                             \
  X(D, cockpit, canopy_base_z, canopyBaseZ, 0.46, -10, 10, "m", "canopy's base height")                            \
  X(D, cockpit, canopy_half_width, canopyHalfWidth, 0.34, 0.01, 5, "m", "canopy's half width")                     \
  X(D, cockpit, canopy_half_length, canopyHalfLength, 0.8, 0.01, 10, "m", "canopy's half length")                  \
  X(D, cockpit, canopy_height, canopyHeight, 0.52, 0.01, 5, "m", "canopy's height")                                \
  X(D, cockpit, panel_y, panelY, 1.22, -20, 20, "m", "instrument panel")                                           \
  X(D, cockpit, yoke_y, yokeY, 0.95, -20, 20, "m", "yoke's wheel centre (its pivot)")                              \
  X(D, cockpit, yoke_z, yokeZ, 0.68, -10, 10, "m", "yoke's height")                                                \
  X(D, beat, powered_rate, beatPoweredRate, 2.0, 0, 20, "Hz", "beat rate with the beat on")                        \
  X(D, beat, powered_change, beatPoweredChange, 16, 0.01, 1000, "Hz/s", "how fast the rate moves there")           \
  X(D, beat, idle_rate, beatIdleRate, 0.9, 0, 20, "Hz", "beat rate with the beat off, until the wings rest")       \
  X(D, beat, idle_change, beatIdleChange, 32, 0.01, 1000, "Hz/s", "how fast the rate moves there")                 \
  X(D, beat, rest_offset, beatRestOffset, 0.8, 0, 1, "cycle", "phase offset of the rest window")                   \
  X(D, beat, rest_from, beatRestFrom, 0.48, 0, 1, "cycle", "rest window start (after the offset)")                 \
  X(D, beat, rest_to, beatRestTo, 0.52, 0, 1, "cycle", "rest window end")                                          \
  X(A, beat, root_amplitude, beatRootAmplitude, 50, -180, 180, "deg", "root hinge sweep, top to bottom")          \
  X(A, beat, root_top, beatRootTop, -30, -180, 180, "deg", "root hinge angle at the top of the stroke")           \
  X(A, beat, outer_amplitude, beatOuterAmplitude, -36, -180, 180, "deg", "outer hinge twist at full pitch input")  \
  X(A, beat, outer_lag, beatOuterLag, 90, -360, 360, "deg", "outer twist's lag behind the root beat")              \
  X(D, controls, pitch_gain, pitchGain, 0.7, -10, 10, "", "outer twist per unit of pitch input")                   \
  X(D, controls, roll_gain, rollGain, 0.3, -10, 10, "", "outer twist difference per unit of roll input")           \
  X(D, controls, input_rate, inputRate, 2, 0.01, 1000, "1/s", "how fast the keys move the pitch and roll inputs")

struct AircraftParams {
#define AIRCRAFT_FIELD_D(member) double member
#define AIRCRAFT_FIELD_A(member) double member
#define AIRCRAFT_FIELD_I(member) int32_t member
#define AIRCRAFT_FIELD(type, section, key, member, def, lo, hi, unit, doc) AIRCRAFT_FIELD_##type(member) = def;
  AIRCRAFT_VALUES(AIRCRAFT_FIELD)
#undef AIRCRAFT_FIELD
#undef AIRCRAFT_FIELD_D
#undef AIRCRAFT_FIELD_A
#undef AIRCRAFT_FIELD_I
};

bool operator==(const AircraftParams& a, const AircraftParams& b);
inline bool operator!=(const AircraftParams& a, const AircraftParams& b) { return !(a == b); }

// Metres per raw unit of the aircraft model (it loads with this scale).
constexpr double kAircraftModelScale = 0.02;

// Degrees to radians as the design's constants were written (deg / 180 * pi
// gives their bits for every angle the design names).
double Radians(double degrees);

// Reads aircraft text. Every problem is one message "file:line: ..." naming
// the rule and the allowed range; a value with a problem keeps its default
// (that of `params` on entry). When the values together cannot be built
// (the checks of CheckAircraft), `params` is left as it came in. Returns true
// when there was no problem at all.
bool ParseAircraft(const std::string& text, const std::string& file, AircraftParams& params,
                   std::vector<std::string>& problems);
// Reads a file with ParseAircraft: regular files up to the aircraft file cap
// (64 KiB) of text only; anything else is one problem and `params` stays.
bool ReadAircraftFile(const std::string& path, AircraftParams& params, std::vector<std::string>& problems);
// Applies one "section.key=value" override ("--set" on the command line).
bool SetAircraftValue(const std::string& assignment, AircraftParams& params, std::vector<std::string>& problems);
// Checks one "section.key" and its value text on their own (the key
// exists, the value is a number of its kind within its range); false with
// the reason, naming the nearest key for an unknown one. `unit` gets the
// key's unit ("m", "deg", "" for a plain factor).
bool CheckAircraftValue(const std::string& name, const std::string& value, std::string& unit, std::string& why);
// Checks that the values together make a machine that can be built: the
// wing tip beyond the break, the fin on the tail boom, limits in order...
// One problem per broken rule, prefixed with `where`.
bool CheckAircraft(const AircraftParams& params, const std::string& where, std::vector<std::string>& problems);

// The whole file, every value with its unit, range and a comment, in the
// table's order; read back it gives `params` exactly.
std::string AircraftText(const AircraftParams& params);
// Writes AircraftText to `path` the one safe way (a fresh temporary renamed
// into place); false with the reason on failure (the caller says so).
bool WriteAircraftFile(const std::string& path, const AircraftParams& params, std::string& reason);

// The values of `after` that differ from `before`: name ("section.key") and
// the shortest text that reads back exactly.
std::vector<std::pair<std::string, std::string>> AircraftChanges(const AircraftParams& before,
                                                                 const AircraftParams& after);
// One line per value that differs: "section.key: old -> new".
std::vector<std::string> AircraftDifferences(const AircraftParams& before, const AircraftParams& after);

// 64-bit FNV-1a of the values' bytes, for cache keys and fingerprints.
uint64_t AircraftHash(const AircraftParams& params);

}  // namespace content
