// The headless flight runner: the simulator's frame loop without a window or
// a device, driven by a key script at a fixed frame time, recording one
// telemetry row per frame.
//
// Script: one event a line, "<seconds> <press|down|up> <key>",
// "<seconds> axis <pitch|roll> <value>" (a stick deflection from -1 to 1, held
// until the next axis line; roll positive to the left, as the Left key) or
// "<seconds> end"; '#' starts a comment (flightrec/flight_file.h has the whole
// format). Keys by name: the letters, Up, Down, Left, Right, Space, Delete,
// Pause, F1, Escape (which stops the run, as it quits the program). "press" is
// a down and an up message before the same frame. A script's keys enter the
// key table through the default key bindings (P is Pause). The run starts
// paused, exactly as the program does. A recorded flight replays with its own
// clock readings and the key-table codes it recorded.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "flightrec/flight_file.h"

namespace flight {

class Recorder;

// Telemetry columns, in CSV order. The first twelve are fixed:
// time,x,y,z,vx,vy,vz,speed,heading,pitch,roll,height.
const std::vector<std::string>& ColumnNames();
enum Column : int {
  kTime, kX, kY, kZ, kVx, kVy, kVz, kSpeed, kHeading, kPitch, kRoll, kHeight,
  kSimTime,          // simulated seconds (world steps x PhysicsStep)
  kBeatPhase, kBeatRate, kFlapping, kPitchInput, kRollInput,
  kTailAngle, kTail2Angle,  // hinge angles, degrees
  kLeftWing2Angle, kLeftWingAngle, kRightWing2Angle, kRightWingAngle,
  kBalloonX, kBalloonY, kBalloonZ,
  kStrap1, kStrap2, kStrap3, kStrap4,  // metres between the ends; NaN once cut
  kClearance,  // lowest corner of the airframe (balloon excluded) above the ground below it, m
  // Only while the air moves (NaN, and left out of the CSV, in still air):
  kAirX, kAirY, kAirZ,  // the air's velocity at the fuselage's centre of mass, world, m/s
  kAirspeed,            // the fuselage's speed through that air, m/s
  kColumnCount
};

using Row = std::vector<double>;  // kColumnCount values

// Telemetry of the current aircraft now, at run time `time`. Speed, heading,
// pitch and roll follow the fuselage's own axes (model +Y forward, +X right
// wing, +Z up): speed = velocity along the forward axis (m/s); heading of the
// forward axis from world +Y toward +X in [0, 360) degrees; pitch nose-up
// positive; roll right-wing-down positive (degrees). Height: the lowest corner
// of the two feet above the ground straight below it (m); NaN without ground.
Row Sample(double time);

// True when any simulation value of the row is NaN or infinite (cut straps
// and a missing ground height excepted).
bool RowIsBroken(const Row& row);

struct RunOptions {
  double frameTime = 1.0 / 60.0;  // seconds per frame
  double maxTime = 3600;          // a script without an end stops after its last event
  // Called after every frame with its row, before the next frame's messages:
  // it may press keys or move the stick for that frame (a replay's only
  // looks on). Returning false stops the run there.
  std::function<bool(const Row&)> afterFrame;
  bool keepRows = true;  // false: RunResult::rows holds only the last row (long runs)
  // When set, told every frame and stopped at the end of the run, so its
  // end line holds the final state: a script run becomes a recorded flight.
  Recorder* recorder = nullptr;
};

struct RunResult {
  std::vector<Row> rows;  // one per frame run
  bool broken = false;    // a row held NaN or infinity; the run stopped there
  bool escaped = false;   // stopped by Escape
  double wallSeconds = 0; // wall-clock time of the frame loop
  double cpuSeconds = 0;  // processor time of the frame loop (unaffected by other load)
  std::string failure;    // set when the ground or the aircraft could not be built: nothing was flown
  uint64_t finalHash = 0; // state hash after the last frame (flightrec/state.h)
  // Replays of recorded flights only:
  int64_t differsAt = -1;   // first frame found different (0: the start state), -1 none
  bool endChecked = false;  // the end hash was there and compared
};

// Runs a script in the current directory's content: loads the island into the
// ground mesh, resets the scene (the aircraft is built, the clock paused),
// then runs frames until the script's end, Escape, the last event (when there
// is no end) or a broken row. Flies nothing (and sets `failure`) when the
// island holds no triangles or the aircraft's model or one of its nodes is
// missing. Axis events set StickPitchInput and StickRollInput, which start
// and end the run at 0. Installs a fixed-step clock source for the run and
// restores the system clock afterwards.
RunResult Run(const std::vector<ScriptEvent>& events, const RunOptions& options);

// Replays a recorded flight in the current directory's content, frame by
// frame at its own clock readings, comparing its checks and end hash.
RunResult ReplayFlight(const Flight& flight, const RunOptions& options);

// Output files. False (with a console line) when the file cannot be written.
// The SVG plots height, speed and beat rate against time, then the ground
// track (world x across, y up, one scale for both) with the start marked.
bool WriteCsv(const std::string& path, const std::vector<Row>& rows);
bool WriteSvg(const std::string& path, const std::vector<Row>& rows);

// One line about the last row.
std::string Summary(const RunResult& result);
// The verdict on a replayed flight: "replay matches", "replay differs at
// frame N", or that the end hash is missing.
std::string Verdict(const Flight& flight, const RunResult& result);

}  // namespace flight
