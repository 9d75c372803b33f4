// The window's flight session, frame by frame as the program runs them (no
// drawing): stick movements recorded in the window replay bit for bit, a
// centred stick leaves a replay alone, and a stick moved out of its deadzone
// takes the replay over exactly as a flight key does. A late recording's
// pre-roll runs without waiting or drawing; the replay's pace and jumps move
// it, never what it computes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "app/flight_session.h"
#include "app/settings.h"
#include "app/stick.h"
#include "app/update.h"
#include "assets/model.h"
#include "flightrec/flight_file.h"
#include "flightrec/recorder.h"
#include "flightrec/state.h"
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
// A clock that moves on a millisecond with every reading.
int64_t readings = 0;
const ClockSource kReadingClock = {[](int64_t* f) { return *f = 1000, true; }, [] { return ++readings; },
                                   [] { return uint32_t(readings); }};

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

  // A flight whose recording began `preRoll` seconds in (F9 pressed late):
  // unpaused, armed and beating, rolling now and then, `length` seconds long.
  flight::Flight LateFlight(const std::string& path, int preRoll, int length) {
    std::string script = "0 press Pause\n0.2 press E\n0.4 press Z\n";
    for (int t = 2; t + 1 < length; t += 6)
      script += std::to_string(t) + " down Left\n" + std::to_string(t + 1) + " up Left\n";
    script += std::to_string(length) + " end\n";
    std::vector<flight::ScriptEvent> events;
    std::string error;
    EXPECT_TRUE(flight::ParseScript(script, events, error)) << error;
    {
      flight::Recorder recorder(flight::ContentFingerprint(""), "test");
      flight::RunOptions options;
      options.recorder = &recorder;
      int frame = 0;
      options.afterFrame = [&](const flight::Row&) {
        if (++frame == preRoll * 60) recorder.Start(path, true);
        return true;
      };
      flight::Run(events, options);
    }
    SetClockSource(kHandClock);  // the run had its own
    flight::Flight f;
    EXPECT_TRUE(flight::ParseFlight(ReadAll(path), f, error)) << error;
    return f;
  }

  // The window's turns over a replay of `path` (RunFrame with a host that
  // counts the drawn frames) until it is over or `turns` ran; `before(turn)`
  // comes first in each and may press keys or set the clock, `after(turn)`
  // follows the frame.
  struct Replayed {
    std::string log;
    int turns = 0;
  };
  Replayed ReplayInWindow(const std::string& path, int turns, const std::function<void(int)>& before,
                          const std::function<void(int)>& after = [](int) {}) {
    Replayed out;
    LogCapture log;
    StartFlightSession(FlightSessionOptions{"", path});
    MDL* ground = LoadIslandGround();
    ClearEntityList();
    PhysicsStep = 0.002;
    ResetScene();
    FlightSessionStarted();
    struct Host : ::FrameHost {
      bool BeginFrame() override { return FlightFrameBegin(); }
      bool Draw() override { return ++drawn, true; }
      bool InputPassDue() override { return FlightInputPassDue(true); }
      void EndFrame(bool inputPass) override { FlightFrameEnd(inputPass); }
      int drawn = 0;
    } host;
    for (int k = 1; k <= turns && FlightReplaying(); k++) {
      before(k);
      EXPECT_TRUE(RunFrame(host));
      after(k);
      out.turns = k;
    }
    EXPECT_EQ(host.drawn, out.turns);  // one picture a turn, however many frames ran
    EndFlightSession();
    DestroyAircraft();
    ReleaseModel(ground);
    out.log = log.text();
    return out;
  }

  // The state hash after every frame of a flight replayed headless.
  std::vector<uint64_t> StraightHashes(const flight::Flight& f) {
    std::vector<uint64_t> hashes;
    flight::RunOptions options;
    options.afterFrame = [&](const flight::Row&) { return hashes.push_back(flight::StateHash()), true; };
    flight::RunResult r = flight::ReplayFlight(f, options);
    SetClockSource(kHandClock);
    EXPECT_EQ(flight::Verdict(f, r), "replay matches");
    return hashes;
  }

  static void Press(int action) {
    EnterKeyMessage(ActionKey(action), true);
    EnterKeyMessage(ActionKey(action), false);
  }

  MDL *model = RegisterTestAircraftModel(), *island = RegisterFlatIsland(0.0);
  Settings settings = DefaultSettings();
  JoystickReading pad;
  // One pair of files per test: CTest runs the tests side by side.
  // Named after the test: ctest runs the tests of this suite side by side.
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::string first = ::testing::TempDir() + name + "-a.tarnflight", second = ::testing::TempDir() + name + "-b.tarnflight";
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

TEST_F(FlightSessionTest, LateRecordingsPreRollRunsUndrawnWithoutWaitingForTheClock) {
  const int preRoll = 8;
  flight::Flight f = LateFlight(first, preRoll, preRoll + 3);
  ASSERT_EQ(f.markFrame, size_t(preRoll * 60));
  const std::string matches = "Replay of \"" + first + "\" matches";

  // The clock stands still within a turn: the whole pre-roll runs in the
  // first one, before its picture; then one frame a turn at the flight's pace.
  size_t afterFirst = 0;
  Replayed r = ReplayInWindow(first, 1000, [](int k) { handCounter = 2 * k; }, [&](int k) {
    if (k == 1) afterFirst = ReplayFrame();
  });
  EXPECT_EQ(afterFirst, f.markFrame + 1);
  EXPECT_NE(r.log.find(matches), std::string::npos) << r.log;
  EXPECT_LE(r.turns, int(f.frames.size() - f.markFrame) + 2);

  // A clock that moves with every reading: the pre-roll takes a slice of it
  // at a time and the window draws in between, far fewer pictures than frames.
  SetClockSource(kReadingClock);
  int drawnInPreRoll = 0;
  r = ReplayInWindow(first, 1000, [](int) {}, [&](int k) {
    if (ReplayFrame() <= f.markFrame) drawnInPreRoll = k;
    if (ReplayFrame() > f.markFrame) EndFlightSession();
  });
  EXPECT_GE(drawnInPreRoll, 2);
  EXPECT_LE(drawnInPreRoll, int(f.markFrame) / 10);
}

TEST_F(FlightSessionTest, ReplaySpeedAndJumpsMoveTheReplayButNotWhatItComputes) {
  flight::Flight f = LateFlight(first, 2, 60);
  const std::vector<uint64_t> straight = StraightHashes(f);
  ASSERT_EQ(straight.size(), f.frames.size());
  const std::string matches = "Replay of \"" + first + "\" matches";

  // Three real seconds at each pace from the mark on: the flight moves on by
  // the pace times three seconds, to a frame.
  for (int speed : {0, 2, 4}) {
    SetReplaySpeedIndex(speed);
    double mark = -1, moved = -1;
    ReplayInWindow(first, 1000, [](int k) { handCounter = k; }, [&](int k) {
      if (k == 1) mark = ReplayTime();  // the first frame after the pre-roll sets the pace
      if (k == 181) moved = ReplayTime() - mark, EndFlightSession();
    });
    EXPECT_NEAR(moved, 3 * kReplaySpeeds[speed], 0.05) << ReplaySpeedText(speed);
  }

  // Fast, jumping forward, back, back again and forward: each jump lands on a
  // frame in the state the straight replay had there, about 10 s from where
  // it left, and the replay still ends as recorded.
  SetReplaySpeedIndex(4);
  std::vector<std::pair<double, double>> jumps;  // flight time before, after
  int checked = 0;
  double before = 0;
  Replayed r = ReplayInWindow(first, 100000, [&](int k) {
    handCounter = 2 * k;
    before = ReplayTime();
    if (k == 100) Press(kActReplayForward);
    if (k == 200 || k == 220) Press(kActReplayBack);
    if (k == 300) Press(kActReplayForward);
    if (k == 400) Press(kActReplaySlower), Press(kActReplaySlower);
  }, [&](int k) {
    if (k == 100 || k == 200 || k == 220 || k == 300) {
      jumps.push_back({before, ReplayTime()});
      ASSERT_GT(ReplayFrame(), 0u);
      EXPECT_EQ(flight::StateHash(), straight[ReplayFrame() - 1]) << "turn " << k;
      checked++;
    }
  });
  EXPECT_EQ(checked, 4);
  ASSERT_EQ(jumps.size(), 4u);
  const double sign[] = {1, -1, -1, 1};
  for (size_t j = 0; j < jumps.size(); j++)
    EXPECT_NEAR(jumps[j].second - jumps[j].first, 10 * sign[j], 0.2) << j;
  EXPECT_EQ(ReplaySpeedIndex(), 2);
  EXPECT_NE(r.log.find(matches), std::string::npos) << r.log;
  EXPECT_EQ(r.log.find("differs"), std::string::npos) << r.log;
  SetReplaySpeedIndex(2);
}

}  // namespace
