// Recorded flights on in-memory content (a flat island and the test
// aircraft): recording a run, replaying it bit for bit, finding where a
// replay with another frame pacing departs, taking over a replay, and the
// reader's answers to cut, reordered, edited and binary files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "app/update.h"
#include "flightrec/flight_file.h"
#include "flightrec/recorder.h"
#include "flightrec/replay.h"
#include "flightrec/state.h"
#include "foundation/clock.h"
#include "physics/entity.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tools/flight/flight.h"

namespace {

using namespace flight;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Flight Parsed(const std::string& text) {
  Flight f;
  std::string error;
  EXPECT_TRUE(ParseFlight(text, f, error)) << error;
  return f;
}

std::string ParseError(const std::string& text) {
  Flight f;
  std::string error;
  EXPECT_FALSE(ParseFlight(text, f, error)) << text;
  return error;
}

// Each line of text with the given prefix replaced by a function of it.
template <class Edit>
std::string EditLines(const std::string& text, Edit edit) {
  std::istringstream in(text);
  std::string line, out;
  int n = 0;
  while (std::getline(in, line)) out += edit(++n, line) + "\n";
  return out;
}

// The stick, the tail toggle, a strap cut and a reset in mid-flight: every
// kind of line a recording holds.
const char* const kScript =
    "0 press Pause\n0.1 press E\n0.2 press Z\n0.3 down Up\n0.7 up Up\n0.8 press Space\n"
    "1.0 axis roll 0.625\n1.3 axis roll 0\n1.4 axis pitch -0.3\n1.5 press F1\n1.6 press Pause\n"
    "1.7 axis pitch 0\n1.75 press E\n1.8 down Delete\n2.0 press Left\n3.0 end\n";

class FlightRecordTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ReleaseModel(island);
    ReleaseModel(model);
    std::remove(path.c_str());
  }
  // Flies a key script with the recorder on from the start; the file's text.
  std::string Record(const std::string& script, RunResult* result = nullptr) {
    std::vector<ScriptEvent> events;
    std::string error;
    EXPECT_TRUE(ParseScript(script, events, error)) << error;
    Recorder recorder(ContentFingerprint(""), "test");
    EXPECT_TRUE(recorder.Start(path, true));
    RunOptions options;
    options.recorder = &recorder;
    RunResult r = flight::Run(events, options);
    if (result) *result = r;
    return ReadAll(path);
  }
  MDL *model = RegisterTestAircraftModel(), *island = RegisterFlatIsland(0.0);
  // One file per test: CTest runs the tests side by side.
  std::string path = ::testing::TempDir() +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".tarnflight";
};

TEST_F(FlightRecordTest, ARecordedRunReplaysBitForBitAndSaysWhereAnotherPacingDeparts) {
  RunResult flown;
  std::string text = Record(kScript, &flown);
  Flight f = Parsed(text);
  ASSERT_TRUE(f.recorded && f.hasEnd);
  EXPECT_EQ(f.frames.size(), flown.rows.size());
  EXPECT_EQ(f.frequency, 60);  // the runner's clock: one tick a frame
  EXPECT_EQ(f.markFrame, 0u);
  EXPECT_EQ(f.endHash, flown.finalHash);
  int checks = 0, resets = 0;
  for (const FlightFrame& fr : f.frames) checks += fr.hasCheck, resets += fr.reset;
  EXPECT_EQ(resets, 1);
  EXPECT_GE(checks, 2);
  EXPECT_NE(text.find(" axis roll 0.625\n"), std::string::npos);

  // Twice, the same bits: every check, the end hash and the telemetry.
  for (int round = 0; round < 2; round++) {
    RunResult r = ReplayFlight(f, RunOptions());
    EXPECT_EQ(r.differsAt, -1);
    EXPECT_TRUE(r.endChecked);
    EXPECT_EQ(r.finalHash, f.endHash);
    ASSERT_EQ(r.rows.size(), flown.rows.size());
    for (size_t i = 0; i < r.rows.size(); i++)
      for (int c = 1; c < kColumnCount; c++)
        ASSERT_TRUE(r.rows[i][c] == flown.rows[i][c] ||
                    (std::isnan(r.rows[i][c]) && std::isnan(flown.rows[i][c])));
    EXPECT_EQ(Verdict(f, r), "replay matches");
  }

  // The frame timer reading another clock at frame 40 (a tick late, the next
  // frame a tick short): the first check at or after frame 40 finds it.
  const int late = 40;
  const std::string was = "f " + std::to_string(late) + " 1\nf " + std::to_string(late + 1) + " 1\n";
  std::string edited = text;
  ASSERT_NE(edited.find(was), std::string::npos);
  edited.replace(edited.find(was), was.size(),
                 "f " + std::to_string(late) + " 2\nf " + std::to_string(late + 1) + " 0\n");
  Flight paced = Parsed(edited);
  ASSERT_NE(paced.frames[late - 1].ticks, f.frames[late - 1].ticks);
  size_t expected = late - 1;
  while (!f.frames[expected].hasCheck) expected++;
  RunResult r = ReplayFlight(paced, RunOptions());
  EXPECT_EQ(r.differsAt, int64_t(expected + 1));
  EXPECT_EQ(Verdict(paced, r), "replay differs at frame " + std::to_string(expected + 1));
  // The version line names the kind of build; a flight from the other kind
  // says why it may differ.
  EXPECT_EQ(f.version, std::string("test") + BuildMark());
  paced.version = *BuildMark() ? "test" : "test+windows";
  EXPECT_EQ(Verdict(paced, r), "replay differs at frame " + std::to_string(expected + 1) + " (recorded by the " +
                                   (*BuildMark() ? "Linux" : "Windows") +
                                   " build, whose C library rounds some functions differently in the last bit)");

  // Killed while recording: every complete line is kept; the replay runs to
  // the last complete frame and misses only the end hash.
  std::string cut = text.substr(0, text.find("\nf 100 ") + 5);
  Flight killed = Parsed(cut);
  EXPECT_TRUE(killed.partialLine && !killed.hasEnd);
  EXPECT_EQ(killed.frames.size(), 99u);
  r = ReplayFlight(killed, RunOptions());
  EXPECT_EQ(r.differsAt, -1);
  EXPECT_EQ(Verdict(killed, r),
            "replay matches to frame 99, its last complete one; the end hash is missing");
}

// A clock the test moves by hand: 60 ticks a second.
int64_t handCounter = 0;
const ClockSource kHandClock = {[](int64_t* f) { return *f = 60, true; }, [] { return handCounter; },
                                [] { return uint32_t(handCounter * 1000 / 60); }};

TEST_F(FlightRecordTest, TakingOverAReplayWithAKeyEqualsARecordingWithThatKey) {
  // A: Left pressed at 1.5 s, before frame 91. B: the same flight without it.
  const std::string head = "0 press Pause\n0.1 press E\n0.2 press Z\n0.3 down Up\n0.7 up Up\n";
  std::string a = Record(head + "1.5 press Left\n2.2 end\n");
  Flight b = Parsed(Record(head + "1.6 end\n"));
  const size_t n = 91;
  ASSERT_GE(b.frames.size(), n);

  // Replay B to frame 90, take over, press Left, fly on to A's length.
  SetClockSource(kHandClock);
  handCounter = 0;
  {
    Recorder recorder(ContentFingerprint(""), "test");
    ASSERT_TRUE(recorder.Start(path, true));
    Replay replay(b);
    replay.Begin();
    MDL* ground = LoadIslandGround();
    ClearEntityList();
    ResetScene();
    replay.Started([] { SimulationInputPass(); });
    while (replay.next() + 1 < n) {
      replay.BeforeFrame();
      recorder.Axes(StickPitchInput, StickRollInput);
      UpdateFrame();
      SimulationInputPass();
      recorder.EndFrame(true);
      ASSERT_TRUE(replay.AfterFrame());
    }
    handCounter = int64_t(n - 1);  // where the replayed clock stands
    replay.TakeOver();
    PressKey(VK_LEFT);
    ReleaseKey(VK_LEFT);
    for (size_t k = n; k <= Parsed(a).frames.size(); k++) {
      handCounter = int64_t(k);
      recorder.Axes(StickPitchInput, StickRollInput);
      UpdateFrame();
      SimulationInputPass();
      recorder.EndFrame(true);
    }
    recorder.Stop();
    DestroyAircraft();
    ReleaseModel(ground);
  }
  ResetClockSource();
  // The new file holds the whole flight, line for line the one flown with the key.
  EXPECT_EQ(ReadAll(path), a);
}

TEST_F(FlightRecordTest, CutReorderedEditedAndBinaryFilesNameTheirLine) {
  std::string text = Record(kScript);
  int frame5 = 0, event = 0;
  EditLines(text, [&](int n, const std::string& l) {
    if (l.rfind("f 5 ", 0) == 0) frame5 = n;
    if (!event && l.find(" press ") == std::string::npos && l.find(" down E") != std::string::npos) event = n;
    return l;
  });
  ASSERT_TRUE(frame5 > 0 && event > 0);
  auto at = [](int n, const std::string& problem) { return "line " + std::to_string(n) + ": " + problem; };
  // Two frame lines swapped.
  std::string swapped = EditLines(text, [&](int n, const std::string& l) {
    return n == frame5 ? "f 6 1" : n == frame5 + 1 ? "f 5 1" : l;
  });
  EXPECT_EQ(ParseError(swapped), at(frame5, "frame 6 where frame 5 belongs (lines out of order or missing)"));
  // A key line moved past a frame.
  std::string moved = EditLines(text, [&](int n, const std::string& l) {
    return n == event ? "f 999 1" : l;
  });
  EXPECT_EQ(ParseError(moved).rfind(at(event, "frame 999 where frame"), 0), 0u);
  std::string late = EditLines(text, [&](int n, const std::string& l) {
    return n == event ? "9.5" + l.substr(l.find(' ')) : l;
  });
  EXPECT_EQ(ParseError(late).rfind(at(event, "time 9.5 does not belong here"), 0), 0u);
  // Edited by hand.
  EXPECT_EQ(ParseError(EditLines(text, [&](int n, const std::string& l) { return n == 4 ? "content 12" : l; })),
            at(4, "\"content\" wants a fingerprint of 16 hex digits"));
  EXPECT_EQ(ParseError(EditLines(text, [&](int n, const std::string& l) { return n == 3 ? "clock 60 0" : l; })),
            at(3, "\"version\" line expected"));
  const std::string overflow = "tarnflight 1\nversion x\ncontent 0123456789abcdef\nclock 1000 9223372036854775000\n"
                               "start 0123456789abcdef\nf 1 900\n";
  EXPECT_EQ(ParseError(overflow), at(6, "the clock reading overflows"));
  EXPECT_EQ(ParseError("tarnflight 2\n"), at(1, "flight format 2 (this program reads format 1)"));
  EXPECT_EQ(ParseError("tarnflight 1\nversion x\n"), at(2, "the header ends early"));
  EXPECT_EQ(ParseError(text + "0 press E\n"), at(int(std::count(text.begin(), text.end(), '\n')) + 1,
                                                    "nothing may follow the end line"));
  EXPECT_EQ(ParseError("0 press E\nf 1 1\n"), at(2, "\"f\" is not a time in seconds"));
  // Binary.
  size_t third = text.find("version") + 2;
  std::string binary = text.substr(0, third) + std::string("\x89PNG\0\x01", 6) + text.substr(third);
  EXPECT_EQ(ParseError(binary).rfind("line 3: not a text line (byte 0x", 0), 0u);

  // Random damage never crashes; refusals name a line; what is accepted replays.
  std::mt19937 rng(7);
  int refused = 0;
  for (int round = 0; round < 200; round++) {
    std::string s = text;
    for (int i = int(rng() % 4); i >= 0; i--) {
      size_t pos = rng() % s.size();
      if (rng() % 2) s[pos] = char(rng() % 256);
      else s.erase(pos, rng() % 12);
    }
    Flight f;
    std::string error;
    if (!ParseFlight(s, f, error)) {
      refused++;
      EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    } else if (round % 20 == 0) {
      ReplayFlight(f, RunOptions());  // may differ, must not break
    }
  }
  EXPECT_GT(refused, 100);
}

TEST(FlightFiles, ContentFingerprintFollowsTheModelBytes) {
  std::string dir = ::testing::TempDir() + "fingerprint";
  std::system(("mkdir -p " + dir + "/Models").c_str());
  uint64_t none = ContentFingerprint(dir);
  std::ofstream(dir + "/Models/PlaneTarn.mdl") << "a";
  uint64_t one = ContentFingerprint(dir);
  std::ofstream(dir + "/Models/PlaneTarn.mdl") << "b";
  EXPECT_TRUE(none != one && one != ContentFingerprint(dir));
  std::system(("rm -rf " + dir).c_str());
}

TEST_F(FlightRecordTest, AFlightInMovingAirReplaysItsAirAndAnotherAirIsToldApart) {
  // Turbulence, wind and a thermal from the start, a gust in mid-flight.
  const std::string script =
      "0 seed 4242\n0 wind 4 200\n0 turbulence moderate\n0 thermal 0 0 2 30 300\n"
      "0 press Pause\n0.1 press E\n0.2 press Z\n0.3 down Up\n1.2 gust 3 up 0.3 0.2 0.3\n2.5 end\n";
  RunResult flown;
  std::string text = Record(script, &flown);
  air::Current = air::Settings();
  EXPECT_NE(text.find("\nair turbulence moderate\n"), std::string::npos) << text.substr(0, 600);
  EXPECT_NE(text.find("\nair seed 4242\n"), std::string::npos);
  EXPECT_NE(text.find(" gust 3 up 0.3 0.2 0.3\n"), std::string::npos);
  EXPECT_TRUE(std::isfinite(flown.rows.back()[kAirspeed]));
  Flight f = Parsed(text);
  ASSERT_TRUE(f.hasEnd);
  RunResult again = ReplayFlight(f, RunOptions());
  EXPECT_EQ(Verdict(f, again), "replay matches");
  EXPECT_EQ(again.finalHash, flown.finalHash);
  // Another seed is other air, and the start hash already tells.
  std::string other = text;
  other.replace(other.find("air seed 4242"), 13, "air seed 4243");
  Flight g = Parsed(other);
  EXPECT_EQ(ReplayFlight(g, RunOptions()).differsAt, 0);
  // A bad air line names its line.
  std::string bad = text;
  bad.replace(bad.find("air turbulence moderate"), 23, "air turbulence extreme");
  Flight h;
  std::string error;
  EXPECT_FALSE(ParseFlight(bad, h, error));
  EXPECT_NE(error.find("turbulence is off, light, moderate or severe"), std::string::npos) << error;
  air::Current = air::Settings();
}

}  // namespace
