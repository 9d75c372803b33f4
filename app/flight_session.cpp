#include "app/flight_session.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "aircraft/aircraft.h"
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
#include "render/text.h"
#include "sim/keys.h"
#include "tarn_version.h"

namespace {

constexpr uint32_t kScreenshotKey = 0x71;  // F2
constexpr uint32_t kRecordKey = 0x78;      // F9

std::unique_ptr<flight::Recorder> recorder;
flight::Flight replayFlight;
std::unique_ptr<flight::Replay> replay;
std::string replayPath;
bool replayPaused = false;
bool replayReported = false;
bool framePass = false;        // the replayed frame under way had an input pass
double paceReal = 0, paceFlight = 0;  // a real clock time and the flight time it shows
bool screenshotWanted = false;

bool Replaying() { return replay != nullptr && !replay->takenOver(); }

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

}  // namespace

void StartFlightSession(const FlightSessionOptions& options) {
  if (!options.replay.empty()) {
    std::string text, error;
    if (!ReadWholeFile(options.replay, FileKind::Flight, text, error)) {
      Log("Can't replay \"%s\": %s\n", options.replay.c_str(), error.c_str());
    } else if (!flight::ParseFlight(text, replayFlight, error)) {
      Log("Can't replay \"%s\": %s\n", options.replay.c_str(), error.c_str());
    } else if (!flight::FlightIsFlyable(replayFlight, error)) {
      Log("Can't replay \"%s\": %s\n", options.replay.c_str(), error.c_str());
    } else if (!replayFlight.recorded) {
      Log("Can't replay \"%s\": a key script, not a recorded flight\n", options.replay.c_str());
    } else if (uint64_t content = flight::ContentFingerprint("", replayFlight.aircraft);
               replayFlight.content != content) {
      Log("Can't replay \"%s\": recorded on other content (fingerprint %s, this content %s)\n",
          options.replay.c_str(), flight::HashText(replayFlight.content).c_str(),
          flight::HashText(content).c_str());
    } else {
      replayPath = options.replay;
      replay.reset(new flight::Replay(replayFlight));
    }
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
  if (Replaying()) {
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
      if (i < replayFlight.markFrame || paceReal == 0 || realNow - paceReal > flightNow - paceFlight + 0.25) {
        // Before the recording was switched on the frames run back to back;
        // a frame far behind its time sets a new pace rather than rushing.
        paceReal = realNow;
        paceFlight = flightNow;
      }
      double wait = (flightNow - paceFlight) - (realNow - paceReal);
      if (wait > 0) {
        // Not due yet: a turn without simulation keeps the window and its
        // cameras responsive while the replay waits.
        std::this_thread::sleep_for(std::chrono::duration<double>(wait < 0.01 ? wait : 0.01));
        return false;
      }
      framePass = replay->inputPass();
      replay->BeforeFrame(false);
    }
  }
  if (recorder != nullptr) recorder->Axes(StickPitchInput, StickRollInput);
  return true;
}

bool FlightSessionNeedsFrames() { return (Replaying() && !replayPaused) || screenshotWanted; }

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
    int seconds = int(replay->FrameTime(replay->next() > 0 ? replay->next() - 1 : 0));
    char text[48];
    std::snprintf(text, sizeof text, "%s %d:%02d", replayPaused ? "REPLAY paused" : "REPLAY",
                  seconds / 60, seconds % 60);
    SetPixelConstantVector(1, 1, 1, 1);
    DrawText(x, y, 16, String(text));
  }
}

void FlightSessionAfterDraw() {
  if (!screenshotWanted) return;
  screenshotWanted = false;
  SaveScreenshot();
}
