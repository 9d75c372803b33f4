// The window's flight session with a stick, frame by frame as the program
// runs them (no drawing): stick movements recorded in the window replay bit
// for bit, a centred stick leaves a replay alone, and a stick moved out of
// its deadzone takes the replay over exactly as a flight key does.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "app/flight_session.h"
#include "app/stick.h"
#include "app/update.h"
#include "assets/model.h"
#include "flightrec/flight_file.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "physics/entity.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tools/flight/flight.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A clock the test moves by hand: 60 ticks a second.
int64_t handCounter = 0;
const ClockSource kHandClock = {[](int64_t* f) { return *f = 60, true; }, [] { return handCounter; },
                                [] { return uint32_t(handCounter * 1000 / 60); }};

class FlightSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource(kHandClock);
    for (auto& b : KeyState) b = 0;
    pad.id = 7;
    pad.name = "Pad";
    pad.controller = true;
  }
  void TearDown() override {
    ApplyStick({}, settings);
    ResetClockSource();
    ReleaseModel(island);
    ReleaseModel(model);
    std::remove(first.c_str());
    std::remove(second.c_str());
  }

  // Flies `frames` frames in the window's order with the stick's raw pitch and
  // roll from `stick` (by frame, from 1); the keys unpause, arm and flap
  // unless a replay is under way. Recording into `record`, replaying `replay`.
  template <class Stick>
  std::string Fly(const std::string& record, const std::string& replay, int frames, Stick stick) {
    LogCapture log;
    handCounter = 0;
    StartFlightSession(FlightSessionOptions{record, replay});
    MDL* ground = LoadIslandGround();
    ClearEntityList();
    PhysicsStep = 0.002;
    ResetScene();
    FlightSessionStarted();
    bool replaying = !replay.empty();
    for (int k = 1; k <= frames; k++) {
      handCounter = k - 1;
      if (!replaying && (k == 1 || k == 5 || k == 10)) {
        uint32_t key = k == 1 ? uint32_t(VK_PAUSE) : k == 5 ? 'E' : 'Z';
        EnterKeyMessage(key, true);
        EnterKeyMessage(key, false);
      }
      stick(k, pad.controllerAxes[1], pad.controllerAxes[0]);  // lefty, leftx
      FrameHost host(*this, log, replaying, k);
      EXPECT_TRUE(RunFrame(host));
      EXPECT_TRUE(host.simulated) << k;
    }
    EndFlightSession();
    DestroyAircraft();
    ReleaseModel(ground);
    return log.text();
  }

  // The window's frame less the window: the pad read as the program reads
  // its stick, the session's frame start, the program's own frame after it.
  struct FrameHost : ::FrameHost {
    FrameHost(FlightSessionTest& t, LogCapture& log, bool& replaying, int k) : t(t), log(log), replaying(replaying), k(k) {}
    bool BeginFrame() override {
      StickBeforeFrame({t.pad}, t.settings);
      replaying = replaying && log.text().find("taken over") == std::string::npos;
      // Ahead of the replay's pace: every replayed frame is due at once.
      handCounter = replaying ? 2 * k : k;
      return simulated = FlightFrameBegin();
    }
    bool InputPassDue() override { return FlightInputPassDue(true); }
    void EndFrame(bool inputPass) override { FlightFrameEnd(inputPass); }
    FlightSessionTest& t;
    LogCapture& log;
    bool& replaying;
    int k;
    bool simulated = false;
  };

  MDL *model = RegisterTestAircraftModel(), *island = RegisterFlatIsland(0.0);
  Settings settings = DefaultSettings();
  JoystickReading pad;
  // One pair of files per test: CTest runs the tests side by side.
  std::string first = ::testing::TempDir() + "session-a.tarnflight", second = ::testing::TempDir() + "session-b.tarnflight";
};

TEST_F(FlightSessionTest, StickFlightsReplayExactlyAndAMovedStickTakesOver) {
  // A: roll stick over frames 20-39, pitch stick from frame 60 on. B: the
  // same flight without the pitch, ten frames longer than the take-over.
  const int takeOver = 60, frames = 90;
  auto roll = [](int k, double& pitch, double& roll) {
    pitch = 0;
    roll = k >= 20 && k < 40 ? 0.5 : 0;
  };
  Fly(first, "", frames, [&](int k, double& pitch, double& r) {
    roll(k, pitch, r);
    if (k >= takeOver) pitch = -0.6;
  });
  std::string a = ReadAll(first);
  flight::Flight f;
  std::string error;
  ASSERT_TRUE(flight::ParseFlight(a, f, error)) << error;
  ASSERT_EQ(f.frames.size(), size_t(frames));
  // Each stick change stands right before the frame that used it.
  auto before = [&](const std::string& line, int frame) {
    size_t at = a.find(line);
    std::string next = "f " + std::to_string(frame) + " 1\n";
    return at != std::string::npos && a.compare(a.find('\n', at) + 1, next.size(), next) == 0;
  };
  EXPECT_TRUE(before(" axis roll -", 20)) << a;
  EXPECT_TRUE(before(" axis roll 0\n", 40));
  EXPECT_TRUE(before(" axis pitch ", takeOver));

  // Headless, twice, the same bits.
  for (int round = 0; round < 2; round++) {
    flight::RunResult r = flight::ReplayFlight(f, flight::RunOptions());
    EXPECT_EQ(flight::Verdict(f, r), "replay matches");
    EXPECT_EQ(r.finalHash, f.endHash);
  }

  Fly(second, "", takeOver + 10, roll);
  // B replayed in the window with the pad centred: the replayed roll stands.
  std::string log = Fly("", second, takeOver + 11, [](int, double& p, double& r) { p = r = 0; });
  EXPECT_NE(log.find("Replay of \"" + second + "\" matches"), std::string::npos) << log;
  // B replayed again, recording, with the pitch stick moved at frame 60: the
  // new file is line for line the flight A flown with the stick from the start.
  std::string third = first + ".taken";
  log = Fly(third, second, frames, [&](int k, double& p, double& r) {
    r = 0;
    p = k >= takeOver ? -0.6 : 0;
  });
  EXPECT_NE(log.find("taken over at frame 59"), std::string::npos) << log;
  EXPECT_EQ(ReadAll(third), a);
  std::remove(third.c_str());
}

}  // namespace
