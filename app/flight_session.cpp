#include "app/flight_session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "aircraft/aircraft.h"
#include "app/camera.h"
#include "app/settings.h"
#include "app/stick.h"
#include "app/update.h"
#include "app/user_files.h"
#include "flightrec/flight_file.h"
#include "flightrec/recorder.h"
#include "flightrec/replay.h"
#include "flightrec/state.h"
#include "foundation/clock.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/str.h"
#include "platform/gpu/device.h"
#include "platform/image/image.h"
#include "platform/window/window.h"
#include "render/draw.h"
#include "render/overlay.h"
#include "render/text.h"
#include "sim/keys.h"
#include "tarn_version.h"

namespace {

constexpr uint32_t kScreenshotKey = 0x71;  // F2
constexpr uint32_t kRecordKey = 0x78;      // F9
// Frames run at full speed take at most this much of the clock before one
// is drawn: the window answers its keys and shows the progress meanwhile.
constexpr double kAheadSlice = 0.05;
const int kReplayActions[] = {kActReplaySlower, kActReplayFaster, kActReplayBack, kActReplayForward};

std::unique_ptr<flight::Recorder> recorder;
flight::Flight replayFlight;
std::unique_ptr<flight::Replay> replay;
std::string replayPath;
bool replayPaused = false;
bool replayReported = false;
bool framePass = false;        // the replayed frame under way had an input pass
double paceReal = 0, paceFlight = 0;  // a real clock time and the flight time it shows
bool screenshotWanted = false;
int speedIndex = 2;   // kReplaySpeeds: 1x
size_t aheadUntil = 0;  // frames before this index run at full speed (a jump's target)
double jumpWanted = 0;  // seconds of jumps asked for since the last frame
std::unique_ptr<flight::Flight> nextFlight;  // to replay from the next frame on
std::string nextPath;

bool Replaying() { return replay != nullptr && !replay->takenOver(); }

// Frames before the recording's start mark, and up to a jump's target, run
// at full speed.
bool RunningAhead() {
  return Replaying() && replay->next() < std::max(aheadUntil, replayFlight.markFrame);
}

// The flight time shown: the last frame run.
double ShownTime() { return replay->FrameTime(replay->next() > 0 ? replay->next() - 1 : 0); }

void ReportReplay() {
  if (replayReported) return;
  replayReported = true;
  int64_t at = replay->differsAt();
  if (at >= 0)
    Log("Replay of \"%s\" differs at frame %lld%s\n", replayPath.c_str(), (long long)at,
        flight::OtherBuildNote(replayFlight).c_str());
  else if (!replay->endChecked())
    Log("Replay of \"%s\" ran to frame %zu, its last complete one; the end hash is missing\n",
        replayPath.c_str(), replay->next());
  else Log("Replay of \"%s\" matches\n", replayPath.c_str());
}

// Flight keys the replay left held are let go, so the pilot starts from his
// own keyboard; the state itself is exactly the replayed one.
void TakeOver(uint32_t pressed) {
  if (!Replaying()) return;
  replay->TakeOver();
  replayPaused = false;
  for (uint32_t code = 0; code < 256; code++)
    if (code != pressed && flight::IsFlightKey(code) && KeyHeld(code)) ReleaseKey(code);
  Log("Replay of \"%s\" taken over at frame %zu\n", replayPath.c_str(), replay->next());
}

bool StartRecording(const std::string& path, bool replace) {
  if (recorder == nullptr || recorder->recording()) return false;
  return recorder->Start(path, replace);
}

void StopRecording() {
  if (recorder == nullptr || !recorder->recording()) return;
  std::string path = recorder->Stop();
  if (!path.empty()) Log("Flight saved to %s\n", path.c_str());
}

void ToggleRecording() {
  if (recorder != nullptr && recorder->recording()) {
    StopRecording();
    return;
  }
  std::string dir = FlightsDirectory(), reason;
  if (!MakePrivateFolders(dir, reason)) {
    Log("Can't make the flights directory \"%s\": %s\n", dir.c_str(), reason.c_str());
    return;
  }
  StartRecording(DatedPath(dir, "flight", ".tarnflight"), false);
}

void SaveScreenshot() {
  std::vector<uint32_t> argb;
  uint32_t width = 0, height = 0;
  if (!ReadWindowDevicePixels(Device, argb, &width, &height)) return;
  std::string dir = ScreenshotsDirectory(), reason;
  if (!MakePrivateFolders(dir, reason)) {
    Log("Can't make the screenshots directory \"%s\": %s\n", dir.c_str(), reason.c_str());
    return;
  }
  std::string path = DatedPath(dir, "tarnsim", ".png");
  // A picture that could not be written whole never shows under its name.
  if (!WritePngFile(path.c_str(), width, height, argb, reason)) {
    Log("Can't write the screenshot \"%s\": %s\n", path.c_str(), reason.c_str());
    return;
  }
  Log("Screenshot saved to %s\n", path.c_str());
}

// Reads a flight to replay; a bad one gets one console line.
bool LoadReplayFlight(const std::string& path, flight::Flight& f) {
  std::string text, error;
  if (!ReadWholeFile(path, FileKind::Flight, text, error)) {
    Log("Can't replay \"%s\": %s\n", path.c_str(), error.c_str());
  } else if (!flight::ParseFlight(text, f, error)) {
    Log("Can't replay \"%s\": %s\n", path.c_str(), error.c_str());
  } else if (!flight::FlightIsFlyable(f, error)) {
    Log("Can't replay \"%s\": %s\n", path.c_str(), error.c_str());
  } else if (!f.recorded) {
    Log("Can't replay \"%s\": a key script, not a recorded flight\n", path.c_str());
  } else if (uint64_t content = flight::ContentFingerprint("", f.aircraft); f.content != content) {
    Log("Can't replay \"%s\": recorded on other content (fingerprint %s, this content %s)\n", path.c_str(),
        flight::HashText(f.content).c_str(), flight::HashText(content).c_str());
  } else {
    return true;
  }
  return false;
}

// The world back at the flight's start, as the program's start-up builds it
// for --replay. The viewer keeps the view and the keys that fly nothing.
void RestartReplay() {
  const CameraView view = CurrentCameraView();
  const double fieldOfView = FieldOfView;
  const bool lookLock = MouseLookLock;
  const int32_t cameraMode = CurrentAircraft != nullptr ? CurrentAircraft->cameraMode : -1;
  uint8_t keys[256];
  std::memcpy(keys, KeyState, sizeof keys);
  replay.reset();  // gives back the clock before the new replay takes it
  replay.reset(new flight::Replay(replayFlight));
  replay->Begin();
  ResetScene();
  replay->Started([] { SimulationInputPass(); });
  for (uint32_t code = 0; code < 256; code++)
    if (!flight::IsFlightKey(code)) KeyState[code] = keys[code];
  ApplyCameraView(view);
  FieldOfView = fieldOfView;
  MouseLookLock = lookLock;
  if (CurrentAircraft != nullptr && cameraMode >= 0) CurrentAircraft->cameraMode = cameraMode;
  replayReported = false;
  paceReal = 0;
}

// The first frame at or after a flight time, from frame `from` on; the
// frame count when none is.
size_t FrameAt(double seconds, size_t from) {
  size_t i = from;
  while (i < replayFlight.frames.size() && replay->FrameTime(i) < seconds) i++;
  return i;
}

// The jumps asked for since the last frame: back restarts the world and runs
// from the start, forward runs on; both at full speed until the last frame
// run is the first at or past the time asked for.
void CarryOutJump() {
  const double seconds = jumpWanted;
  jumpWanted = 0;
  if (!Replaying() || seconds == 0) return;
  const double target = ShownTime() + seconds;
  if (seconds < 0) {
    RestartReplay();
    aheadUntil = FrameAt(target, 0) + 1;
  } else {
    aheadUntil = FrameAt(target, replay->next()) + 1;
  }
  aheadUntil = std::min(aheadUntil, replayFlight.frames.size());
}

// A replayed frame run at full speed: the program's frame without the
// picture and without the viewer's part of the input pass (nothing of it
// reaches the simulation).
struct AheadFrameHost : FrameHost {
  bool BeginFrame() override {
    framePass = replay->inputPass();
    replay->BeforeFrame(false);
    if (recorder != nullptr) recorder->Axes(StickPitchInput, StickRollInput);
    return true;
  }
  bool InputPassDue() override { return framePass; }
  void EndFrame(bool inputPass) override { FlightFrameEnd(inputPass); }
};

void RunAhead() {
  if (!RunningAhead()) return;
  const double until = GetSeconds() + kAheadSlice;
  AheadFrameHost host;
  do {
    RunFrame(host);
  } while (RunningAhead() && GetSeconds() < until);
  paceReal = 0;  // the pace starts afresh from where the run ended
}

void ReplayAction(int action) {
  switch (action) {
    case kActReplaySlower: SetReplaySpeedIndex(speedIndex - 1); break;
    case kActReplayFaster: SetReplaySpeedIndex(speedIndex + 1); break;
    case kActReplayBack: JumpReplay(-10); break;
    case kActReplayForward: JumpReplay(10); break;
    default: break;
  }
}

}  // namespace

void StartFlightSession(const FlightSessionOptions& options) {
  if (!options.replay.empty() && LoadReplayFlight(options.replay, replayFlight)) {
    replayPath = options.replay;
    replay.reset(new flight::Replay(replayFlight));
  }
  recorder.reset(new flight::Recorder(flight::ContentFingerprint(""), TARN_VERSION));
  if (!options.record.empty()) StartRecording(options.record, options.replace);
  if (replay != nullptr) replay->Begin();
}

void FlightSessionStarted() {
  if (replay != nullptr) replay->Started([] { SimulationInputPass(); });
}

void EndFlightSession() {
  StopRecording();
  recorder.reset();
  replay.reset();
  // A later session starts from scratch.
  replayPath.clear();
  replayPaused = replayReported = framePass = screenshotWanted = false;
  paceReal = paceFlight = 0;
  aheadUntil = 0;
  jumpWanted = 0;
  nextFlight.reset();
}

bool FlightSessionKey(uint32_t code, bool down) {
  if (code == kRecordKey || code == kScreenshotKey) {
    // Auto-repeats of a held key do not toggle again.
    static bool held[2];
    bool& h = held[code == kRecordKey ? 0 : 1];
    if (down && !h) {
      if (code == kRecordKey) ToggleRecording();
      else screenshotWanted = true;
    }
    h = down;
    return true;
  }
  for (size_t i = 0; i < sizeof kReplayActions / sizeof *kReplayActions; i++) {
    if (code != ActionKey(kReplayActions[i])) continue;
    // They act only on a replay; auto-repeats of a held key act once.
    static bool held[sizeof kReplayActions / sizeof *kReplayActions];
    bool& h = held[i];
    if (down && !h && Replaying()) ReplayAction(kReplayActions[i]);
    h = down;
    return true;
  }
  if (!Replaying() || !flight::IsFlightKey(code)) return false;
  if (code == VK_PAUSE) {
    if (down) replayPaused = !replayPaused;
    return true;
  }
  if (code == 'C') return false;  // the camera stays the viewer's
  if (!down) return true;         // the replay holds the key table
  TakeOver(code);
  return false;
}

bool FlightRecording() { return recorder != nullptr && recorder->recording(); }
void ToggleFlightRecording() { ToggleRecording(); }

bool FlightReplaying() { return Replaying(); }

bool ReplayFlightFile(const std::string& path) {
  if (FlightRecording()) {
    Log("Can't replay \"%s\" while recording: F9 stops the recording\n", path.c_str());
    return false;
  }
  std::unique_ptr<flight::Flight> f(new flight::Flight);
  if (!LoadReplayFlight(path, *f)) return false;
  // The world restarts as the next frame begins: the frame under way ends
  // as it started, with or without its replay.
  nextFlight = std::move(f);
  nextPath = path;
  return true;
}

int ReplaySpeedIndex() { return speedIndex; }

void SetReplaySpeedIndex(int index) {
  index = std::max(0, std::min(kReplaySpeedCount - 1, index));
  if (index == speedIndex) return;
  speedIndex = index;
  paceReal = 0;  // the new pace counts from now
}

const char* ReplaySpeedText(int index) {
  static const char* const kText[kReplaySpeedCount] = {"1/4x", "1/2x", "1x", "2x", "4x"};
  return kText[std::max(0, std::min(kReplaySpeedCount - 1, index))];
}

bool JumpReplay(double seconds) {
  if (!Replaying()) return false;
  if (seconds < 0 && FlightRecording()) {
    // The restart would become a reset in the flight being written.
    Log("Can't jump back in a replay while recording: F9 stops the recording\n");
    return false;
  }
  jumpWanted += seconds;
  return true;
}

double ReplayTime() { return Replaying() ? ShownTime() : 0; }
size_t ReplayFrame() { return Replaying() ? replay->next() : 0; }
bool ReplayRunningAhead() { return RunningAhead(); }

void EnterKeyMessage(uint32_t code, bool down) {
  if (FlightSessionKey(code, down)) return;
  if (down) PressKey(code);
  else ReleaseKey(code);
}

void StickBeforeFrame(const std::vector<JoystickReading>& devices, const Settings& settings) {
  ApplyStick(devices, settings, EnterKeyMessage, [](double pitch, double roll) {
    if (Replaying() && (pitch != 0 || roll != 0)) TakeOver(0);
    return !Replaying();
  });
}

bool FlightFrameBegin() {
  if (nextFlight != nullptr) {
    replay.reset();
    replayFlight = std::move(*nextFlight);
    nextFlight.reset();
    replayPath = nextPath;
    replayPaused = false;
    aheadUntil = 0;
    jumpWanted = 0;
    RestartReplay();
  }
  if (Replaying()) {
    if (jumpWanted != 0) CarryOutJump();
    // Paused too: a jump lands where it was asked to.
    RunAhead();
    if (replayPaused) {
      paceReal = 0;  // pacing starts afresh after the pause
      return false;
    }
    if (replay->done()) {
      // The flight is over: the pilot flies on from where it ended.
      replay->Finish();
      ReportReplay();
      replay->TakeOver();
    } else {
      size_t i = replay->next();
      double flightNow = replay->FrameTime(i);
      double realNow = GetSeconds();
      const double speed = kReplaySpeeds[speedIndex];
      if (RunningAhead() || paceReal == 0 || realNow - paceReal > (flightNow - paceFlight) / speed + 0.25) {
        // A frame running ahead is due at once; a frame far behind its time
        // sets a new pace rather than rushing.
        paceReal = realNow;
        paceFlight = flightNow;
      }
      double wait = (flightNow - paceFlight) / speed - (realNow - paceReal);
      if (wait > 0) {
        // Not due yet: a turn without simulation keeps the window and its
        // cameras responsive while the replay waits.
        std::this_thread::sleep_for(std::chrono::duration<double>(wait < 0.01 ? wait : 0.01));
        return false;
      }
      if (speed > 1) {
        // Faster than recorded, frames fall due quicker than the window
        // draws: those due before the last due one run undrawn.
        const double until = realNow + kAheadSlice;
        AheadFrameHost host;
        while (replay->next() + 1 < replayFlight.frames.size() &&
               (replay->FrameTime(replay->next() + 1) - paceFlight) / speed <= realNow - paceReal &&
               GetSeconds() < until)
          RunFrame(host);
      }
      framePass = replay->inputPass();
      replay->BeforeFrame(false);
    }
  }
  if (recorder != nullptr) recorder->Axes(StickPitchInput, StickRollInput);
  return true;
}

bool FlightSessionNeedsFrames() {
  return (Replaying() && (!replayPaused || RunningAhead() || jumpWanted != 0)) || nextFlight != nullptr ||
         screenshotWanted;
}

bool FlightInputPassDue(bool foreground) { return Replaying() ? framePass : foreground; }

void FlightFrameEnd(bool inputPass) {
  if (recorder != nullptr) recorder->EndFrame(inputPass);
  if (Replaying() && !replay->AfterFrame()) ReportReplay();
}

void DrawFlightSession() {
  double x = ScreenRight - 190, y = 4;
  if (recorder != nullptr && recorder->recording()) {
    int seconds = int(recorder->Elapsed());
    char text[48];
    std::snprintf(text, sizeof text, "REC %d:%02d", seconds / 60, seconds % 60);
    SetPixelConstantVector(0.9f, 0.05f, 0.05f, 1);
    DrawText(x, y, 20, String(text));
    y += 24;
  }
  if (Replaying()) {
    int seconds = int(ShownTime());
    char text[64];
    if (RunningAhead()) {
      // Where the frames run at full speed are, and where they stop.
      int to = int(replay->FrameTime(std::max(aheadUntil, replayFlight.markFrame) - 1));
      std::snprintf(text, sizeof text, "REPLAY %d:%02d >> %d:%02d", seconds / 60, seconds % 60, to / 60, to % 60);
    } else {
      std::snprintf(text, sizeof text, "%s %s %d:%02d", replayPaused ? "REPLAY paused" : "REPLAY",
                    ReplaySpeedText(speedIndex), seconds / 60, seconds % 60);
    }
    // Right-aligned: the pace and a run ahead make it longer than REC's;
    // outlined, readable over the sky.
    DrawOutlinedText(std::min(x, ScreenRight - 8 - TextWidth(text, 16)), y, 16, text, 1, 1, 1);
  }
}

void FlightSessionAfterDraw() {
  if (!screenshotWanted) return;
  screenshotWanted = false;
  SaveScreenshot();
}
