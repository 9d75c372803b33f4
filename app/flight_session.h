// Flights and screenshots in the window: F9 records the flight, --record
// records from the start, --replay plays a recorded flight at its own pace
// (the viewer keeps the cameras; Pause pauses it; a flight key or the stick
// takes over), F2 saves the window as a PNG.
//
// A replay runs the frames before its recording's start mark at full speed,
// without drawing them, a slice of wall time per drawn frame so the window
// stays responsive. Its own keys (the replay actions of app/settings.h) set
// the pace from a quarter to four times, and jump 10 s back (the world
// restarts from the flight's start and runs at full speed to 10 s earlier)
// or forward (10 s at full speed). Pace and jumps change only when frames
// run, never what they compute: the verdict and the final state are those of
// a replay played straight through.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/input/joystick.h"

struct FlightSessionOptions {
  std::string record;  // record from the start into this file ("" none)
  std::string replay;  // play this flight ("" none)
  bool replace = false;  // --force: record over an existing file
};

// Before the start-up sequence: reads the flight to replay (a bad file gets
// one console line and the program starts normally) and sets up recording.
void StartFlightSession(const FlightSessionOptions& options);
// After the start-up sequence (its scene reset).
void FlightSessionStarted();
// At shut-down: a running recording is finished and its path printed.
void EndFlightSession();

// Whether a flight is being recorded; F9's start or stop, from the menu.
bool FlightRecording();
void ToggleFlightRecording();

// A replay is under way (not yet over or taken over).
bool FlightReplaying();
// Replays the flight in `path` from its start: the world restarts as for a
// jump back. False, with a console line, when the file is no flight this
// program can replay or a recording is running (it would hold the restart).
bool ReplayFlightFile(const std::string& path);
// The replay's pace: an index into kReplaySpeeds, kept across replays.
constexpr double kReplaySpeeds[] = {0.25, 0.5, 1, 2, 4};
constexpr int kReplaySpeedCount = 5;
int ReplaySpeedIndex();
void SetReplaySpeedIndex(int index);  // clamped to the table
// "1/4x", "1/2x", "1x", "2x", "4x".
const char* ReplaySpeedText(int index);
// Jumps `seconds` of flight time forward or back (negative), run at full
// speed at the next frame. False, with a console line, when no replay runs
// or a jump back would restart the world under a running recording.
bool JumpReplay(double seconds);
// The flight time (seconds from the flight's start) of the last replayed
// frame, and whether frames are being run at full speed to reach a point.
double ReplayTime();
bool ReplayRunningAhead();
// The replayed frames run so far (the next frame's index).
size_t ReplayFrame();

// A key message from the window, before it reaches the key table. True when
// the session took it: F9, F2, and while replaying Pause and the releases of
// flight keys. A flight key pressed during a replay takes over first.
bool FlightSessionKey(uint32_t code, bool down);
// A key message as the window enters it, the stick's buttons included: the
// session first, then the key table.
void EnterKeyMessage(uint32_t code, bool down);
// The stick, once a turn before FlightFrameBegin: like the keyboard's
// messages it acts between frames, so a recording holds each change before
// the frame that used it. Its buttons enter through EnterKeyMessage; during a
// replay the inputs stay the replayed ones until the stick leaves its
// deadzone, which takes over as a flight key does.
void StickBeforeFrame(const std::vector<JoystickReading>& devices, const Settings& settings);

// Before the frame's simulation update: first the replay's frames that run
// at full speed (before its start mark, or to the point of a jump), whole
// and undrawn, for up to a slice of the clock; then waits for the replay's
// pace and hands it the frame's events. False while a replay is paused or
// its next frame is not due: then the turn runs no simulation (no update,
// no simulation input pass).
bool FlightFrameBegin();
// A replay is playing (not paused): its frames are due whether or not
// anything else moves.
bool FlightSessionNeedsFrames();
// Whether the frame's input pass includes the simulation's part: a replay
// follows its recording, else the window in front.
bool FlightInputPassDue(bool foreground);
// After the frame's input pass.
void FlightFrameEnd(bool inputPass);
// Head-up marks: a red "REC" and the elapsed time; the replay's state.
void DrawFlightSession();
// After the scene is drawn: saves the screenshot F2 asked for.
void FlightSessionAfterDraw();
