// The flight runner: script parsing, the headless frame loop and its
// telemetry, on in-memory content (a flat island and the test aircraft).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "aircraft/aircraft.h"
#include "aircraft/island_ground.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "foundation/log.h"
#include "physics/physics.h"
#include "render/resources.h"
#include "tests/aircraft/test_model.h"
#include "tools/flight/flight.h"

namespace {

using flight::Action;
using flight::ScriptEvent;

std::vector<ScriptEvent> Parse(const std::string& text) {
  std::vector<ScriptEvent> events;
  std::string error;
  EXPECT_TRUE(flight::ParseScript(text, events, error)) << error;
  return events;
}

std::string ParseError(const std::string& text) {
  std::vector<ScriptEvent> events;
  std::string error;
  EXPECT_FALSE(flight::ParseScript(text, events, error)) << text;
  return error;
}

TEST(FlightScript, ReadsEventsCommentsAndKeyNames) {
  std::vector<ScriptEvent> e = Parse(
      "# take-off\n"
      "0 press Pause\n"
      "\n"
      "1.5 down Up   # climb\n"
      "0.5 press e\n"
      "  3 up Up\r\n"
      "1.5 press Space\n"
      "60 end\n");
  ASSERT_EQ(e.size(), 6u);
  // Ordered by time; equal times keep script order.
  EXPECT_EQ(e[0].key, uint32_t(VK_PAUSE));
  EXPECT_EQ(e[1].key, uint32_t('E'));
  EXPECT_EQ(e[1].line, 5);
  EXPECT_EQ(e[4].line, 6);  // the indented line with a CR
  EXPECT_EQ(e[5].action, Action::End);

  EXPECT_EQ(flight::KeyCodeByName("z"), uint32_t('Z'));
  EXPECT_EQ(flight::KeyCodeByName("F13"), 0u);
  EXPECT_TRUE(Parse("").empty());
  EXPECT_EQ(Parse("5 end").size(), 1u);  // no final line feed
}

TEST(FlightScript, NamesTheLineOfAMalformedEvent) {
  EXPECT_EQ(ParseError("0 press Pause\nx press E\n"), "line 2: \"x\" is not a time in seconds");
  EXPECT_EQ(ParseError("\n\n-1 press E"), "line 3: the time must be a finite number >= 0");
  EXPECT_EQ(ParseError("nan press E"), "line 1: the time must be a finite number >= 0");
  EXPECT_EQ(ParseError("1"), "line 1: an action (press, down, up or end) must follow the time");
  EXPECT_EQ(ParseError("1 hold E"), "line 1: unknown action \"hold\" (press, down, up or end)");
  EXPECT_EQ(ParseError("1 press"), "line 1: a key name must follow the action");
  EXPECT_EQ(ParseError("1 press E Z"), "line 1: one key per line");
  EXPECT_EQ(ParseError("# c\n1 down Shift"), "line 2: unknown key \"Shift\"");
  EXPECT_EQ(ParseError("1 end now"), "line 1: \"end\" takes no key");
}

TEST(FlightScript, SurvivesMutatedScripts) {
  const std::string good =
      "0 press Pause\n0.5 press E\n1 press Z\n5 down Up\n20 down Left\n35 up Left\n60 end\n";
  std::mt19937 rng(12345);
  int accepted = 0, rejected = 0;
  for (int round = 0; round < 300; round++) {
    std::string s = good;
    int edits = 1 + int(rng() % 6);
    for (int i = 0; i < edits; i++) {
      size_t at = rng() % (s.size() + 1);
      switch (rng() % 3) {
        case 0:
          if (at < s.size()) s[at] = char(rng() % 256);
          break;
        case 1:
          s.insert(at, 1, char(rng() % 256));
          break;
        default:
          if (at < s.size()) s.erase(at, 1);
          break;
      }
    }
    if (round % 7 == 0) s.resize(rng() % (s.size() + 1));  // truncated
    std::vector<ScriptEvent> events;
    std::string error;
    bool ok = flight::ParseScript(s, events, error);
    (ok ? accepted : rejected)++;
    if (ok) {
      EXPECT_TRUE(error.empty());
      for (size_t i = 1; i < events.size(); i++) EXPECT_LE(events[i - 1].time, events[i].time);
      for (const ScriptEvent& e : events) {
        EXPECT_TRUE(std::isfinite(e.time));
        EXPECT_GE(e.time, 0.0);
        if (e.action != Action::End) {
          EXPECT_NE(e.key, 0u);
        }
      }
    } else {
      EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    }
  }
  // Both outcomes occur: the mutations neither all break nor all spare the script.
  EXPECT_GT(accepted, 0);
  EXPECT_GT(rejected, 0);
}

// Runs on the in-memory island and aircraft.
class FlightRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model = RegisterTestAircraftModel();
    island = RegisterFlatIsland(0.0);
  }
  void TearDown() override {
    ReleaseModel(island);
    ReleaseModel(model);
    ReleaseAllTextures();
    ReleaseAllVertexShaders();
    ReleaseAllPixelShaders();
  }
  flight::RunResult Run(const std::string& script, double frame = 1.0 / 60) {
    flight::RunOptions options;
    options.frameTime = frame;
    return flight::Run(Parse(script), options);
  }
  MDL* model = nullptr;
  MDL* island = nullptr;
};

TEST_F(FlightRunTest, FramesFollowTheScriptClock) {
  flight::RunResult r = Run("0 press Pause\n2 end\n");
  ASSERT_EQ(r.rows.size(), 120u);
  EXPECT_FALSE(r.broken);
  EXPECT_FALSE(r.escaped);
  EXPECT_NEAR(r.rows.back()[flight::kTime], 2.0, 1e-12);
  // The first frame is still paused (Pause is read after the frame's update);
  // from then on 1/60 s a frame is simulated.
  EXPECT_EQ(r.rows[0][flight::kSimTime], 0.0);
  EXPECT_NEAR(r.rows.back()[flight::kSimTime], 2.0 - 1.0 / 60, 0.0021);
  // The machine faces world -X: heading 270, level, and stands still.
  const flight::Row& first = r.rows.front();
  EXPECT_NEAR(first[flight::kHeading], 270.0, 1e-9);
  EXPECT_NEAR(first[flight::kHeight], 2 - 1.85, 1e-6);  // feet bottom over the flat ground
  EXPECT_NEAR(first[flight::kClearance], 2 - 1.85, 1e-6);  // the feet are the lowest part
  for (int i = 0; i < 4; i++) EXPECT_GT(first[flight::kStrap1 + i], 3.0);
  EXPECT_EQ(CurrentAircraft, nullptr);  // the run cleans up after itself

  // 7 ms frames (not a whole rate per second) keep their time exactly enough.
  r = Run("0 press Pause\n0.7 end\n", 0.007);
  ASSERT_EQ(r.rows.size(), 100u);
  EXPECT_NEAR(r.rows.back()[flight::kTime], 0.7, 1e-9);
  EXPECT_NEAR(r.rows.back()[flight::kSimTime], 0.7 - 0.007, 0.0021);
}

TEST_F(FlightRunTest, ReplaysExactly) {
  const char* script = "0 press Pause\n0.2 press E\n0.4 press Z\n0.6 down Left\n1.5 end\n";
  flight::RunResult a = Run(script);
  flight::RunResult b = Run(script);
  ASSERT_EQ(a.rows.size(), b.rows.size());
  for (size_t i = 0; i < a.rows.size(); i++) {
    for (int c = 0; c < flight::kColumnCount; c++) {
      double x = a.rows[i][c], y = b.rows[i][c];
      if (std::isnan(x) && std::isnan(y)) continue;
      ASSERT_EQ(x, y) << "row " << i << " column " << flight::ColumnNames()[c];
    }
  }
  // The keys reached the aircraft: armed, flapping, rolling.
  const flight::Row& last = a.rows.back();
  EXPECT_EQ(last[flight::kFlapping], 1.0);
  EXPECT_EQ(last[flight::kRollInput], 1.0);
  EXPECT_GT(last[flight::kBeatRate], 1.9);
}

TEST_F(FlightRunTest, EscapeStopsAndResetRewinds) {
  flight::RunResult r = Run("0 press Pause\n1 press Escape\n5 end\n");
  EXPECT_TRUE(r.escaped);
  EXPECT_EQ(r.rows.size(), 60u);

  // F1 rebuilds the aircraft and pauses again; Pause in the same frame resumes.
  r = Run("0 press Pause\n0.5 press E\n0.5 press Z\n1 press F1\n1.5 end\n");
  ASSERT_EQ(r.rows.size(), 90u);
  EXPECT_EQ(r.rows.back()[flight::kSimTime], 0.0);  // paused since the reset
  EXPECT_EQ(r.rows.back()[flight::kFlapping], 0.0);
  r = Run("0 press Pause\n1 press F1\n1 press Pause\n1.5 end\n");
  EXPECT_GT(r.rows.back()[flight::kSimTime], 0.4);

  // Without an end the run stops a frame after the last event.
  r = Run("0 press Pause\n0.5 press E\n");
  EXPECT_EQ(r.rows.size(), 31u);
}

TEST_F(FlightRunTest, WritesCsvAndSvgWithCutStraps) {
  flight::RunResult r = Run("0 press Pause\n0.2 down Delete\n0.5 end\n");
  EXPECT_FALSE(r.broken);
  for (int i = 0; i < 4; i++) EXPECT_TRUE(std::isnan(r.rows.back()[flight::kStrap1 + i]));
  std::string csv = ::testing::TempDir() + "flight_test.csv";
  std::string svg = ::testing::TempDir() + "flight_test.svg";
  ASSERT_TRUE(flight::WriteCsv(csv, r.rows));
  ASSERT_TRUE(flight::WriteSvg(svg, r.rows));
  std::ifstream in(csv);
  std::string header, line;
  std::getline(in, header);
  EXPECT_EQ(header.rfind("time,x,y,z,", 0), 0u);
  int rows = 0;
  std::string lastLine;
  while (std::getline(in, line)) {
    rows++;
    lastLine = line;
    size_t commas = 0;
    for (char c : line) commas += c == ',';
    EXPECT_EQ(commas, size_t(flight::kColumnCount - 1));
  }
  EXPECT_EQ(rows, 30);
  // Cut straps have no length; the clearance follows them.
  EXPECT_NE(lastLine.find(",,,,,"), std::string::npos);
  ASSERT_FALSE(lastLine.empty());
  EXPECT_NE(lastLine.back(), ',');
  std::ifstream s(svg);
  std::stringstream text;
  text << s.rdbuf();
  EXPECT_EQ(text.str().rfind("<svg", 0), 0u);
  EXPECT_NE(text.str().find("</svg>"), std::string::npos);
  std::remove(csv.c_str());
  std::remove(svg.c_str());

  LogCapture capture;
  EXPECT_FALSE(flight::WriteCsv("/nonexistent-dir/x.csv", r.rows));
  EXPECT_EQ(capture.text(), "Can't write \"/nonexistent-dir/x.csv\"\n");
}

TEST(FlightGround, HeightBelowFindsTheSurfaceUnderAPoint) {
  MDL* island = RegisterFlatIsland(1.5, 10, 2);
  FillGroundMesh(island);
  EXPECT_EQ(GroundTriangles.count, 8u);
  EXPECT_EQ(GroundVertices.count, 9u);
  double h = 0;
  ASSERT_TRUE(GroundHeightBelow({70.3, 69.1, 5}, 1.0, &h));
  EXPECT_DOUBLE_EQ(h, 1.5);
  ASSERT_TRUE(GroundHeightBelow({65, 75, 1.45}, 1.0, &h));  // slightly below the surface
  EXPECT_DOUBLE_EQ(h, 1.5);
  EXPECT_FALSE(GroundHeightBelow({100, 70, 5}, 1.0, &h));  // off the island
  FillGroundMesh(nullptr);
  EXPECT_EQ(GroundTriangles.count, 0u);
  EXPECT_FALSE(GroundHeightBelow({70, 70, 5}, 1.0, &h));
  ReleaseModel(island);
}

TEST(FlightProgram, RejectsAMalformedScriptNamingTheLine) {
  std::string dir = ::testing::TempDir();
  std::string script = dir + "bad_script.txt";
  {
    std::ofstream out(script);
    out << "0 press Pause\n1 press Q Q\n";
  }
  std::string out = dir + "bad_script.out";
  std::string command = std::string("cd ") + dir + " && " + TARN_BINARY_DIR "/tarn-flight " +
                        script + " > " + out + " 2>&1";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "tarn-flight: " + script + ": line 2: one key per line");

  command = std::string(TARN_BINARY_DIR "/tarn-flight --frame 0 ") + script + " > " + out + " 2>&1";
  status = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  command = std::string(TARN_BINARY_DIR "/tarn-flight > ") + out + " 2>&1";
  status = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::remove(script.c_str());
  std::remove(out.c_str());
}

}  // namespace
