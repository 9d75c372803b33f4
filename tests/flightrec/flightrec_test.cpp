// Recorded flights on in-memory content (a flat island and the test
// aircraft): recording a run, replaying it bit for bit, finding where a
// replay with another frame pacing departs, taking over a replay, and the
// reader's answers to cut, reordered, edited and binary files.
#include <gtest/gtest.h>

#include <csignal>
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
#include "foundation/log.h"
#include "physics/entity.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tools/flight/flight.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

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

TEST_F(FlightRecordTest, AFlightKeepsTheAircraftItWasFlownWith) {
  content::AircraftParams changed;
  changed.fuselageMass = 1700;
  changed.beatPoweredRate = 2.4;
  changed.pitchGain = 0.65;
  CurrentAircraftParams = changed;
  RunResult flown;
  std::string text = Record(kScript, &flown);
  CurrentAircraftParams = content::AircraftParams();  // the file changed back
  EXPECT_NE(text.find("\naircraft fuselage.mass 1700\naircraft beat.powered_rate 2.4\naircraft controls.pitch_gain 0.65\n"), std::string::npos);
  Flight f = Parsed(text);
  EXPECT_TRUE(f.aircraft == changed);
  EXPECT_EQ(f.content, WithAircraft(ContentFingerprint(""), changed));
  EXPECT_NE(f.content, ContentFingerprint(""));
  RunResult r = ReplayFlight(f, RunOptions());
  EXPECT_EQ(Verdict(f, r), "replay matches");
  EXPECT_TRUE(CurrentAircraftParams == changed);  // the replay flew it

  // Without its aircraft lines the same frames fly another machine.
  std::string stripped;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("aircraft ", 0) != 0) stripped += line + "\n";
  Flight bare = Parsed(stripped);
  EXPECT_TRUE(bare.aircraft == content::AircraftParams());
  EXPECT_GE(ReplayFlight(bare, RunOptions()).differsAt, 0);
  std::string header = stripped.substr(0, stripped.find("\nmark\n") + 1);
  EXPECT_NE(ParseError(header + "aircraft fin.mass -1\n").find("fin.mass: -1 is outside"), std::string::npos);
  CurrentAircraftParams = content::AircraftParams();
}

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

// The recording's file: never an existing one unasked, readable line by line
// while it is written, and a failing write stops it at once with a line,
// keeping what was written.
TEST_F(FlightRecordTest, TheRecordingFileIsNewReadableAsItGoesAndStopsOnAFullDisk) {
  std::vector<ScriptEvent> events;
  std::string error;
  ASSERT_TRUE(ParseScript(kScript, events, error)) << error;
  std::ofstream(path) << "the pilot's own flight\n";
  {
    LogCapture log;
    Recorder recorder(ContentFingerprint(""), "test");
    EXPECT_FALSE(recorder.Start(path, false));
    EXPECT_EQ(log.text(), "Can't write the flight \"" + path + "\": ERROR_FILE_EXISTS: the file already exists\n");
  }
  EXPECT_EQ(ReadAll(path), "the pilot's own flight\n");

  std::string midway;
  {
    Recorder recorder(ContentFingerprint(""), "test");
    ASSERT_TRUE(recorder.Start(path, true));
    RunOptions options;
    options.recorder = &recorder;
    options.afterFrame = [&](const Row&) {
      if (recorder.frames() == 30) midway = ReadAll(path);
      return true;
    };
    flight::Run(events, options);
  }
  EXPECT_EQ(midway.rfind("# Tarn sim flight", 0), 0u);
  EXPECT_NE(midway.find("\nf 30 1\n"), std::string::npos) << "each frame is in the file as it ends";
  EXPECT_EQ(Parsed(midway).frames.size(), 30u);

#ifndef _WIN32
  std::remove(path.c_str());
  std::string console;
  {
    LogCapture log;
    struct rlimit saved, small;
    getrlimit(RLIMIT_FSIZE, &saved);
    small = saved;
    small.rlim_cur = 1500;
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    Recorder recorder(ContentFingerprint(""), "test");
    ASSERT_TRUE(recorder.Start(path, false));
    RunOptions options;
    options.recorder = &recorder;
    setrlimit(RLIMIT_FSIZE, &small);
    flight::Run(events, options);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(recorder.recording());
    EXPECT_EQ(recorder.Stop(), "");  // never "saved"
    console = log.text();
  }
  EXPECT_EQ(console, "Can't write the flight \"" + path +
                         "\": ERROR_FILE_TOO_LARGE: the file grew past the size this process may write; "
                         "recording stopped, the flight up to here is kept\n");
  std::string kept = ReadAll(path);
  EXPECT_TRUE(kept.size() > 500 && kept.size() <= 1500) << kept.size();
  Flight cut = Parsed(kept.substr(0, kept.rfind('\n') + 1));
  EXPECT_TRUE(cut.recorded && !cut.hasEnd && !cut.frames.empty());
#endif
}

// What a flight may ask of a replay, and lines the reader must take or refuse.
TEST(FlightFiles, EmptyAndForgedFlightsAreRefusedAndEdgeValuesRead) {
  std::string why;
  for (const char* nothing : {"", "# a comment\n\n"}) {
    EXPECT_FALSE(FlightIsFlyable(Parsed(nothing), why));
    EXPECT_EQ(why, "no events: nothing to fly");
  }
  EXPECT_TRUE(FlightIsFlyable(Parsed("5 end\n"), why));
  const std::string head = "tarnflight 1\nversion x\ncontent 0000000000000000\nclock 1 0\nstart 0000000000000000\n";
  std::string bomb = head, ok = head;
  for (int i = 1; i <= 1000; i++) bomb += "f " + std::to_string(i) + " 600\n";
  for (int i = 1; i <= 12; i++) ok += "f " + std::to_string(i) + " 600\n";
  EXPECT_FALSE(FlightIsFlyable(Parsed(bomb + "600000.000000 end 0000000000000000\n"), why));
  EXPECT_EQ(why, "600000 s of clock time, more than the 7200 s a replay may run");
  EXPECT_TRUE(FlightIsFlyable(Parsed(ok + "7200.000000 end 0000000000000000\n"), why)) << "exactly two hours";
  EXPECT_FALSE(FlightIsFlyable(Parsed(ok + "f 13 1\n"), why));

  // Full stick both ways is a value; past it is not. Frames never run back.
  Flight full = Parsed("0 axis pitch 1\n0 axis roll -1\n1 end\n");
  EXPECT_TRUE(full.events[0].value == 1 && full.events[1].value == -1);
  EXPECT_EQ(ParseError("0 axis pitch 1.0001\n"), "line 1: the axis value must be a number from -1 to 1");
  EXPECT_EQ(ParseError(head + "f 1 5\nf 2 -1\n"), "line 7: the clock ran backwards");
  const std::string earlier = head + "f 1 5\n5.000000 press E\nf 2 5\n4.000000 press E\n";
  EXPECT_EQ(ParseError(earlier).rfind("line 9: time 4.000000 does not belong here", 0), 0u);
  // A key name from a damaged file is echoed cut, with its length.
  EXPECT_EQ(ParseError("0 press " + std::string(100000, 'K') + "\n"),
            "line 1: unknown key \"" + std::string(80, 'K') + "... (100,000 bytes)\"");
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
