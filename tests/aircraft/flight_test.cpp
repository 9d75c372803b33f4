// The flight runner: script parsing, the headless frame loop and its
// telemetry, on in-memory content (a flat island and the test aircraft).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

#include "aircraft/aircraft.h"
#include "foundation/log.h"
#include "sim/frame_clock.h"
#include "sim/keys.h"
#include "tests/aircraft/test_model.h"
#include "tools/flight/flight.h"
#include "tools/flight/random_input.h"

namespace {

using namespace flight;

// Parses a script that must parse (error null) or must not (the error returned).
std::vector<ScriptEvent> Parse(const std::string& text, std::string* error = nullptr) {
  std::vector<ScriptEvent> events;
  std::string e;
  EXPECT_EQ(ParseScript(text, events, e), error == nullptr) << text << ": " << e;
  if (error) *error = e;
  return events;
}

std::string ParseError(const std::string& text) {
  std::string error;
  Parse(text, &error);
  return error;
}

TEST(FlightScript, ReadsEventsInTimeOrderAndNamesTheLineOfAMalformedOne) {
  std::vector<ScriptEvent> e = Parse("# take-off\n0 press Pause\n\n1.5 down Up   # climb\n"
                                     "0.5 press e\n  3 up Up\r\n1.5 press Space\n60 end\n2 axis roll -0.25\n");
  ASSERT_EQ(e.size(), 7u);
  // Ordered by time; equal times keep script order.
  EXPECT_TRUE(e[0].key == VK_PAUSE && e[1].key == 'E' && e[1].line == 5 && e[3].key == VK_SPACE);
  EXPECT_TRUE(e[4].action == Action::Axis && e[4].axis == StickAxis::Roll && e[4].value == -0.25);
  EXPECT_EQ(e[5].line, 6);  // the indented line with a CR
  EXPECT_EQ(e[6].action, Action::End);
  EXPECT_EQ(ParseError("0 press Pause\nx press E\n"), "line 2: \"x\" is not a time in seconds");
  EXPECT_EQ(ParseError("\n\nnan press E"), "line 3: the time must be a finite number >= 0");
  EXPECT_EQ(ParseError("1"), "line 1: an action (press, down, up, axis or end) must follow the time");
  EXPECT_EQ(ParseError("1 hold E"), "line 1: unknown action \"hold\" (press, down, up, axis or end)");
  EXPECT_EQ(ParseError("1 press"), "line 1: a key name must follow the action");
  EXPECT_EQ(ParseError("1 press E Z"), "line 1: one key per line");
  EXPECT_EQ(ParseError("# c\n1 down Spcae"), "line 2: unknown key \"Spcae\" (nearest: Space)");
  EXPECT_EQ(ParseError("1 up Lfet"), "line 1: unknown key \"Lfet\" (nearest: Left)");
  EXPECT_EQ(ParseError("1 up F2"), "line 1: unknown key \"F2\" (nearest: F1)");
  EXPECT_EQ(ParseError("1 down Shift"), "line 1: unknown key \"Shift\" (nearest: Left; keys are the letters A to Z, "
                                         "Up, Down, Left, Right, Space, Delete, Pause, F1, Escape)");
  // A long name is cut in the message and measured against no key.
  EXPECT_EQ(ParseError("1 down " + std::string(100, 'x')),
            "line 1: unknown key \"" + std::string(80, 'x') + "... (100 bytes)\"");
  EXPECT_EQ(ParseError("1 end now"), "line 1: \"end\" takes no key");
  EXPECT_EQ(ParseError("1 axis roll"), "line 1: \"axis\" takes pitch or roll and a value");
  EXPECT_EQ(ParseError("1 axis yaw 0"), "line 1: unknown axis \"yaw\" (pitch or roll)");
  for (const char* bad : {"1.5", "-1.01", "nan", "0.5x"})
    EXPECT_EQ(ParseError(std::string("1 axis pitch ") + bad), "line 1: the axis value must be a number from -1 to 1");
}

TEST(FlightScript, SurvivesMutatedAndTruncatedScripts) {
  const std::string good = "0 press Pause\n0.5 press E\n1 press Z\n5 down Up\n20 down Left\n60 end\n";
  std::mt19937 rng(12345);
  int accepted = 0;
  for (int round = 0; round < 300; round++) {
    std::string s = good, error;
    for (int i = int(rng() % 6); i >= 0; i--) {
      size_t at = rng() % (s.size() + 1);
      if (rng() % 2 && at < s.size()) s[at] = char(rng() % 256);
      else s.insert(at, 1, char(rng() % 256));
    }
    s.resize(round % 7 ? s.size() : rng() % (s.size() + 1));
    std::vector<ScriptEvent> e;
    bool ok = ParseScript(s, e, error);
    accepted += ok;
    EXPECT_TRUE(ok ? error.empty() : error.rfind("line ", 0) == 0) << error;
    for (size_t i = 0; i < e.size(); i++)
      EXPECT_TRUE(std::isfinite(e[i].time) && e[i].time >= e[i ? i - 1 : 0].time && e[0].time >= 0 &&
                  (e[i].action == Action::End || e[i].action == Action::Axis || e[i].key != 0));
  }
  EXPECT_TRUE(accepted > 0 && accepted < 300);  // the mutations neither all break nor all spare it
}

RunResult Fly(const std::string& script, double frame = 1.0 / 60) {
  RunOptions options;
  options.frameTime = frame;
  return flight::Run(Parse(script), options);
}

// Runs on the in-memory island and aircraft.
class FlightRunTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ReleaseModel(island);
    ReleaseModel(model);
  }
  MDL *model = RegisterTestAircraftModel(), *island = RegisterFlatIsland(0.0);
};

TEST_F(FlightRunTest, FollowsTheScriptClockReplaysExactlyAndWritesARowPerFrame) {
  const char* script =
      "0 press Pause\n0.2 press E\n0.2 down Delete\n0.4 press Z\n0.6 down Left\n0.6 down Up\n"
      "1 axis pitch -0.5\n1.5 end\n";
  RunResult r = Fly(script), again = Fly(script);
  ASSERT_EQ(r.rows.size(), 90u);
  ASSERT_EQ(again.rows.size(), 90u);
  for (size_t i = 0; i < r.rows.size(); i++)
    for (int c = 0; c < kColumnCount; c++)
      ASSERT_TRUE(r.rows[i][c] == again.rows[i][c] || (std::isnan(r.rows[i][c]) && std::isnan(again.rows[i][c])))
          << "row " << i << " column " << ColumnNames()[c];
  EXPECT_FALSE(r.broken || r.escaped);
  EXPECT_EQ(CurrentAircraft, nullptr);  // the run cleans up after itself
  EXPECT_NEAR(r.rows.back()[kTime], 1.5, 1e-12);
  // The first frame is still paused (Pause is read after the frame's update);
  // from then on 1/60 s a frame is simulated.
  EXPECT_EQ(r.rows[0][kSimTime], 0.0);
  EXPECT_NEAR(r.rows.back()[kSimTime], 1.5 - 1.0 / 60, 0.0021);
  // The machine starts facing world -X (heading 270) on its feet over the flat ground.
  const Row &first = r.rows.front(), &last = r.rows.back();
  EXPECT_NEAR(first[kHeading], 270.0, 1e-9);
  EXPECT_NEAR(first[kHeight], 2 - 1.85, 1e-6);
  EXPECT_NEAR(first[kClearance], 2 - 1.85, 1e-6);  // the feet are the lowest part
  for (int i = 0; i < 4; i++) EXPECT_TRUE(first[kStrap1 + i] > 3.0 && std::isnan(last[kStrap1 + i]));
  // The keys reached it: armed, flapping, rolling, the straps cut; the stick
  // overrides Up, and the run leaves it centred.
  EXPECT_TRUE(last[kFlapping] == 1.0 && last[kRollInput] == 1.0 && last[kBeatRate] > 1.9);
  EXPECT_TRUE(r.rows[59][kPitchInput] > 0.3 && last[kPitchInput] == -0.5 && StickPitchInput == 0);

  std::string csv = ::testing::TempDir() + "flight_test.csv", line, lastLine;
  ASSERT_TRUE(WriteCsv(csv, r.rows));
  std::ifstream in(csv);
  int rows = -1;
  for (; std::getline(in, line); rows++, lastLine = line) {
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), kAirX - 1);  // still air: no air columns
    EXPECT_TRUE(rows >= 0 || line.rfind("time,x,y,z,vx,vy,vz,speed,heading,pitch,roll,height,", 0) == 0) << line;
  }
  EXPECT_EQ(rows, 90);
  // Cut straps are empty; the clearance follows them.
  EXPECT_TRUE(lastLine.find(",,,,,") != std::string::npos && lastLine.back() != ',') << lastLine;
  std::remove(csv.c_str());
  // The picture ends with the ground track, its start marked.
  std::string svg = ::testing::TempDir() + "flight_test.svg";
  ASSERT_TRUE(WriteSvg(svg, r.rows));
  std::ifstream svgIn(svg);
  std::string picture((std::istreambuf_iterator<char>(svgIn)), {});
  size_t track = picture.find("ground track"), start = picture.find(">start</text>");
  EXPECT_TRUE(track != std::string::npos && start > track && picture.find("<circle") > track) << picture;
  EXPECT_EQ(std::count(picture.begin(), picture.end(), '<') - std::count(picture.begin(), picture.end(), '>'), 0);
  std::remove(svg.c_str());
  LogCapture capture;
  EXPECT_FALSE(WriteCsv("/nonexistent-dir/x.csv", r.rows));
  // Windows names a missing folder ERROR_PATH_NOT_FOUND, Linux has one code for both.
  EXPECT_TRUE(capture.text() == "Can't write \"/nonexistent-dir/x.csv\": ERROR_FILE_NOT_FOUND: no such file or folder\n" ||
              capture.text() == "Can't write \"/nonexistent-dir/x.csv\": ERROR_PATH_NOT_FOUND: no such file or folder\n")
      << capture.text();

  // 7 ms frames (not a whole number of steps) carry the rest of a step over.
  r = Fly("0 press Pause\n0.7 end\n", 0.007);
  ASSERT_EQ(r.rows.size(), 100u);
  EXPECT_NEAR(r.rows.back()[kTime], 0.7, 1e-9);
  EXPECT_NEAR(r.rows.back()[kSimTime], 0.7 - 0.007, 0.0021);
}

TEST_F(FlightRunTest, ScriptedHalfRollHoldsTheOuterWingsAtTheControlLawsAngles) {
  // The beat idles down to rest near phase 0.3; each outer wing then holds
  // clamp(0.7 pitch -/+ 0.3 roll) x -36 deg x sin(2 pi phase - pi/2).
  RunResult r = Fly("0 press Pause\n0 axis roll 0.5\n2 end\n");
  ASSERT_EQ(r.rows.size(), 120u);
  EXPECT_EQ(StickRollInput, 0.0);  // a run leaves the stick centred
  for (size_t i = 90; i < r.rows.size(); i++) {
    const Row& row = r.rows[i];
    double c = std::sin(2 * M_PI * row[kBeatPhase] - M_PI / 2);
    ASSERT_EQ(row[kRollInput], 0.5);
    EXPECT_NEAR(row[kLeftWingAngle], -0.15 * -36 * c, 0.05) << row[kTime];
    EXPECT_NEAR(row[kRightWingAngle], 0.15 * -36 * c, 0.05) << row[kTime];
  }
  EXPECT_GT(r.rows.back()[kLeftWingAngle], 1.0);
}

// Half an hour of the random pilot's frames, its key presses counted (a
// Pause press toggles the pause as the input pass would) and its stick kept.
struct PilotInput {
  std::map<uint32_t, int> presses;
  std::vector<double> stick;
};
PilotInput FlyPilot(uint64_t seed) {
  PilotInput in;
  for (uint8_t& k : KeyState) k = 0;
  Paused = false;
  RandomPilot pilot(seed);
  for (int f = 0; f < 30 * 60 * 60; f++) {
    pilot.Act(1.0 / 60);
    for (uint32_t key = 1; key < 256; key++)
      if (ConsumePresses(key)) in.presses[key]++, Paused = key == VK_PAUSE ? !Paused : Paused;
    in.stick.push_back(StickPitchInput), in.stick.push_back(StickRollInput);
  }
  StickPitchInput = StickRollInput = 0;
  return in;
}

TEST(RandomPilot, RepeatsItsInputForASeedAndUsesEveryKeyAndTheStick) {
  const PilotInput a = FlyPilot(5), again = FlyPilot(5), other = FlyPilot(6);
  EXPECT_TRUE(a.presses == again.presses && a.stick == again.stick);
  EXPECT_NE(a.stick, other.stick);
  for (uint32_t key : std::initializer_list<uint32_t>{VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_SPACE, VK_DELETE,
                                                     VK_PAUSE, VK_F1, 'V', 'G', 'E', 'Z'})
    EXPECT_GT(a.presses.count(key), 0u) << key;
  EXPECT_EQ(a.presses.count(VK_ESCAPE), 0u);  // it would end the run
  EXPECT_TRUE(std::count(a.stick.begin(), a.stick.end(), 0.0) > 0 &&
              std::all_of(a.stick.begin(), a.stick.end(), [](double v) { return v >= -1 && v <= 1; }) &&
              std::any_of(a.stick.begin(), a.stick.end(), [](double v) { return v < -0.5; }) &&
              std::any_of(a.stick.begin(), a.stick.end(), [](double v) { return v > 0.5; }));
}

TEST_F(FlightRunTest, SoakFliesTheSimulatedTimeRepeatablyAndStopsAtTheFirstBrokenLimit) {
  const SoakResult r = Soak(7, 10, 1.0 / 60), again = Soak(7, 10, 1.0 / 60);
  EXPECT_EQ(r.failure, "");
  EXPECT_TRUE(r.simulatedSeconds >= 10 && r.simulatedSeconds < 10.02) << r.simulatedSeconds;
  EXPECT_TRUE(r.frames == again.frames && r.maxDistance == again.maxDistance && r.maxSpeed == again.maxSpeed &&
              r.maxHingeGap == again.maxHingeGap);
  EXPECT_TRUE(r.maxDistance > 50 && r.maxHingeGap < 0.5);  // the machine starts 99 m out; hinges hold

  SoakLimits near, gapless, flat;
  near.maxDistance = 1, gapless.maxHingeGap = 0, flat.maxResidentGrowthMb = -1;
  const SoakResult far = Soak(7, 10, 1.0 / 60, near), gap = Soak(7, 10, 1.0 / 60, gapless);
  EXPECT_EQ(far.frames, 1u);
  EXPECT_EQ(far.failure.rfind("a body at", 0), 0u) << far.failure;
  EXPECT_EQ(gap.failure.rfind("a hinge", 0), 0u) << gap.failure;
  EXPECT_EQ(Soak(7, 0.1, 1.0 / 60, flat).failure.rfind("the maximum resident size grew", 0), 0u);
}

// A machine with a part missing, or no ground, is not flown at all.
TEST_F(FlightRunTest, RefusesAnIncompleteAircraftOrNoGround) {
  for (ModelNode& n : model->nodes)
    if (n.name == String("Tail2 Proxy")) n.name = String("Renamed");
  LogCapture log;
  RunResult r = Fly("0 press Pause\n1 end\n");
  EXPECT_EQ(r.failure, "the aircraft could not be built from Models/PlaneTarn");
  EXPECT_TRUE(r.rows.empty() && CurrentAircraft == nullptr);
  EXPECT_TRUE(log.text().find("Tail2 Proxy") != std::string::npos) << log.text();
  island->triangles.clear();
  EXPECT_EQ(Fly("0 press Pause\n1 end\n").failure, "the ground could not be built from Models/DivadiZarov");
}

TEST(FlightProgram, RejectsAMalformedScriptNamingFileAndLineWithStatus1) {
  std::string script = ::testing::TempDir() + "bad_script.txt", out = script + ".out";
  std::ofstream(script) << "0 press Pause\n1 press Q Q\n";
  std::string program = TARN_BINARY_DIR "/tarn-flight";
#ifdef _WIN32
  std::replace(program.begin(), program.end(), '/', '\\');  // cmd.exe reads '/' as a switch
#endif
  // The runner's exit status (on Windows, system() gives the exit code itself).
  auto exitStatus = [&](const std::string& args) {
    const int status = std::system((program + " " + args + " > " + out + " 2>&1").c_str());
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  };
  EXPECT_EQ(exitStatus(script), 1);
  std::string line;
  std::getline(std::ifstream(out), line);
  EXPECT_EQ(line, "tarn-flight: " + script + ": line 2: one key per line");

  // Content folders without the models: the loads say what is missing, then
  // one line of the runner's own, status 1 and no summary.
  std::string data = ::testing::TempDir() + "empty_content";
  for (const char* sub : {"/Models", "/Textures", "/Shaders", "/Fonts"}) std::filesystem::create_directories(data + sub);
  std::ofstream(script) << "0 press Pause\n1 end\n";
  EXPECT_EQ(exitStatus(script + " --data " + data), 1);
  std::ifstream in(out);
  std::string last;
  while (std::getline(in, line)) last = line;
  EXPECT_EQ(last, "tarn-flight: the ground could not be built from Models/DivadiZarov");
  std::remove(script.c_str());
  std::remove(out.c_str());
}

}  // namespace
