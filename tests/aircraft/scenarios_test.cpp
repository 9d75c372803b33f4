// Flight scenarios: the scripts of scenarios/ flown headless in the real content
// of the run directory, with the targets the aircraft must meet. Each run leaves
// its telemetry in <build>/scenarios/<name>.csv and .svg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "air/air.h"
#include "aircraft/aircraft.h"
#include "flightrec/flight_file.h"
#include "flightrec/recorder.h"
#include "flightrec/replay.h"
#include "flightrec/state.h"
#include "foundation/log.h"
#include "tools/flight/flight.h"

namespace {

using namespace flight;

// Each test flies in a private copy of the raw models of <build>/run, so parallel
// tests never read a compiled model another one is still writing.
class Scenario : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "tarn_scenario_" + std::to_string(getpid());
    std::filesystem::create_directories(dir_ + "/Models");
    for (const char* model : {"PlaneTarn.mdl", "DivadiZarov.mdl"}) {
      std::ifstream in(std::string(TARN_BINARY_DIR "/run/Models/") + model, std::ios::binary);
      ASSERT_TRUE(in) << "no run/Models/" << model << ": build the content target first";
      std::ofstream(dir_ + "/Models/" + model, std::ios::binary) << in.rdbuf();
    }
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    CurrentAircraftParams = content::AircraftParams();
    EXPECT_EQ(chdir(cwd_), 0);
    std::filesystem::remove_all(dir_);
  }
  // Flies scenarios/<name>.txt, after airLines when given (then saved as
  // <as>), and writes its telemetry; empty on failure.
  std::vector<Row> Fly(const std::string& name, const std::string& airLines = "", std::string as = "") {
    if (as.empty()) as = name;
    std::ifstream in(std::string(TARN_SCENARIO_DIR) + "/" + name + ".txt");
    std::stringstream text;
    text << airLines << in.rdbuf();
    std::vector<ScriptEvent> events;
    std::string error;
    if (!in || !ParseScript(text.str(), events, error)) {
      ADD_FAILURE() << "scenario " << name << ": " << error;
      return {};
    }
    LogCapture quiet;  // model loading lines
    air::Current = air::Settings();  // each flight starts in still air
    RunResult result = flight::Run(events, RunOptions());
    std::string out = TARN_BINARY_DIR "/scenarios/";
    std::filesystem::create_directories(out);
    EXPECT_TRUE(WriteCsv(out + as + ".csv", result.rows) && WriteSvg(out + as + ".svg", result.rows));
    std::printf("%s: %s\n", as.c_str(), Summary(result).c_str());
    EXPECT_FALSE(result.broken) << as << " produced NaN";
    return result.broken ? std::vector<Row>() : result.rows;
  }

  // The same with an aircraft file (below the content sources) and overrides.
  std::vector<Row> FlyWith(const std::string& name, const std::string& file, const std::vector<std::string>& sets) {
    {
      LogCapture lines;
      EXPECT_TRUE(ChooseAircraft(file, sets)) << lines.text();
    }
    std::vector<Row> rows = Fly(name);
    CurrentAircraftParams = content::AircraftParams();
    return rows;
  }

  std::string dir_;
  char cwd_[4096] = "";
};

// Rows with from <= time <= to.
template <class F>
void ForRows(const std::vector<Row>& rows, double from, double to, F fn) {
  for (const Row& r : rows)
    if (r[kTime] >= from - 1e-9 && r[kTime] <= to + 1e-9) fn(r);
}

// The row at time t (one row per 1/60 s frame, the first at 1/60 s).
const Row& At(const std::vector<Row>& rows, double t) { return rows.at(size_t(std::lround(t * 60)) - 1); }

// Mean of a column over from <= time <= to.
double Mean(const std::vector<Row>& rows, int column, double from, double to) {
  double sum = 0;
  int n = 0;
  ForRows(rows, from, to, [&](const Row& r) { sum += r[column], n++; });
  return n ? sum / n : NAN;
}

// Mean heading rate from `from` to `to` (degrees per second, negative to the
// left), the heading unwrapped frame by frame.
double HeadingRate(const std::vector<Row>& rows, double from, double to) {
  double turned = 0;
  for (size_t f = size_t(std::lround(from * 60)); f < size_t(std::lround(to * 60)); f++) {
    double d = rows.at(f)[kHeading] - rows.at(f - 1)[kHeading];
    turned += d - 360 * std::round(d / 360);
  }
  return turned / (to - from);
}

// Distance between the points in columns a..a+2 of `p` and b..b+2 of `q`.
double Distance(const Row& p, int a, const Row& q, int b) {
  return std::sqrt(std::pow(q[b] - p[a], 2) + std::pow(q[b + 1] - p[a + 1], 2) + std::pow(q[b + 2] - p[a + 2], 2));
}

TEST_F(Scenario, RestSettlesOnTheFeetAndTheBeatStopsInItsWindow) {
  std::vector<Row> rows = Fly("rest");
  ASSERT_FALSE(rows.empty());
  const Row &settled = At(rows, 5), &last = rows.back();
  double drift = 0, highestFoot = 0;
  ForRows(rows, 5.0, 30.0, [&](const Row& r) {
    drift = std::max(drift, Distance(settled, kX, r, kX));
    highestFoot = std::max(highestFoot, r[kHeight]);
  });
  EXPECT_NEAR(last[kTime], 30.0, 1e-9);
  EXPECT_LT(drift, 0.3);
  EXPECT_LT(highestFoot, 0.1);
  EXPECT_TRUE(last[kBeatRate] == 0.0 && last[kBeatPhase] > 0.28 && last[kBeatPhase] < 0.32) << last[kBeatPhase];
}

TEST_F(Scenario, TakeOffClimbsWithLevelBeatMeanAttitude) {
  std::vector<Row> rows = Fly("takeoff");
  ASSERT_FALSE(rows.empty());
  // Mean pitch and roll over each full beat cycle (phase wrap to phase wrap).
  double best = -1e9, worst = 0, sumPitch = 0, sumRoll = 0, lastPhase = NAN;
  int n = 0, cycles = -1;
  ForRows(rows, 1.0, 21.0, [&](const Row& r) {
    best = std::max(best, r[kHeight]);
    if (!std::isnan(lastPhase) && r[kBeatPhase] < lastPhase) {
      if (cycles++ >= 0 && n > 0) worst = std::max({worst, std::fabs(sumPitch / n), std::fabs(sumRoll / n)});
      sumPitch = sumRoll = n = 0;
    }
    lastPhase = r[kBeatPhase];
    sumPitch += r[kPitch];
    sumRoll += r[kRoll];
    n++;
  });
  EXPECT_GE(best, 10.0);
  EXPECT_GT(cycles, 30);
  EXPECT_LE(worst, 30.0);
}

TEST_F(Scenario, CruiseFliesStraightAndForwardAboveTheGround) {
  std::vector<Row> rows = Fly("cruise");
  ASSERT_FALSE(rows.empty());
  // Up held from 5 s: over the last 20 s at least 3 m/s along the fuselage,
  // 100 m from the start, and once off the ground it never touches down. With
  // no roll input the heading drifts by at most 1 degree per second.
  double lowest = 1e9;
  bool airborne = false;
  ForRows(rows, 1.0, 60.0, [&](const Row& r) {
    airborne = airborne || r[kHeight] > 1.0;
    if (airborne) lowest = std::min(lowest, r[kHeight]);
  });
  EXPECT_NEAR(rows.back()[kTime], 60.0, 1e-9);
  EXPECT_GE(Mean(rows, kSpeed, 40.0, 60.0), 3.0);
  EXPECT_GE(std::hypot(rows.back()[kX] - rows[0][kX], rows.back()[kY] - rows[0][kY]), 100.0);
  EXPECT_TRUE(airborne);
  EXPECT_GT(lowest, 0.0);
  EXPECT_LE(std::fabs(HeadingRate(rows, 5.0, 60.0)), 1.0);
}

// Full Left or Right from 20 s to 50 s while cruising: a steady turn both
// ways of 8 to 25 degrees per second, matched within 20%, keeping 60% of the
// cruise speed along the nose (every one-second mean) and never sinking below
// the height it started the turn at; half the stick turns at 30% to 70% of
// the full rate.
TEST_F(Scenario, TurnsAreModerateSymmetricProportionalAndKeepSpeedAndHeight) {
  std::vector<Row> left = Fly("turn_left"), right = Fly("turn_right"), half = Fly("turn_half");
  ASSERT_TRUE(!left.empty() && !right.empty() && !half.empty());
  double rate[3];
  int i = 0;
  for (const std::vector<Row>* rows : {&left, &right, &half}) {
    const char* name = i == 0 ? "left" : (i == 1 ? "right" : "half");
    rate[i++] = HeadingRate(*rows, 30.0, 50.0);
    double cruise = Mean(*rows, kSpeed, 10.0, 20.0), entry = Mean(*rows, kZ, 20.0, 21.0);
    for (double t = 30.0; t + 1.0 <= 50.0 + 1e-9; t += 0.5)
      ASSERT_GE(Mean(*rows, kSpeed, t, t + 1.0), 0.6 * cruise) << name << " at " << t << " s";
    for (double t = 20.0; t + 1.0 <= 50.0 + 1e-9; t += 0.5)
      ASSERT_GE(Mean(*rows, kZ, t, t + 1.0), entry) << name << " at " << t << " s";
  }
  std::printf("heading rate 30-50 s: left %.2f, right %.2f, half left %.2f deg/s\n", rate[0], rate[1], rate[2]);
  EXPECT_TRUE(rate[0] <= -8.0 && rate[0] >= -25.0) << rate[0];
  EXPECT_TRUE(rate[1] >= 8.0 && rate[1] <= 25.0) << rate[1];
  EXPECT_LE(std::fabs(rate[0] + rate[1]), 0.2 * std::max(-rate[0], rate[1]));
  EXPECT_TRUE(rate[2] / rate[0] >= 0.3 && rate[2] / rate[0] <= 0.7) << rate[2] / rate[0];
}

TEST_F(Scenario, LettingGoOfTheRollControlEndsTheTurn) {
  std::vector<Row> rows = Fly("recovery");
  ASSERT_FALSE(rows.empty());
  // From 5 s after the roll input is back at 0, every one-second heading rate
  // stays under 2 degrees per second until the end.
  double centred = NAN;
  ForRows(rows, 50.0, 70.0, [&](const Row& r) {
    if (std::isnan(centred) && r[kRollInput] == 0.0) centred = r[kTime];
  });
  ASSERT_LT(centred, 51.0);
  EXPECT_LE(HeadingRate(rows, 30.0, 50.0), -8.0);  // it was turning
  for (double t = centred + 5.0; t <= 70.0 + 1e-9; t += 1.0 / 60)
    ASSERT_LT(std::fabs(HeadingRate(rows, t - 1.0, t)), 2.0) << t << " s";
}

TEST_F(Scenario, ReleaseLetsTheBalloonGoAndTheMachineLandsAndRests) {
  std::vector<Row> rows = Fly("release");
  ASSERT_FALSE(rows.empty());
  const Row &cut = At(rows, 20), &from = At(rows, 50), &last = rows.back();
  bool strapsGone = true;
  double landed = NAN, highestClearance = -1e9, lowZ = 1e9, highZ = -1e9, moved = 0;
  // Down: some part of the airframe touches the ground. Resting: in the last
  // 10 s the fuselage neither bounces nor wanders.
  ForRows(rows, 20.1, 60.0, [&](const Row& r) {
    for (int i = 0; i < 4; i++) strapsGone = strapsGone && std::isnan(r[kStrap1 + i]);
    if (std::isnan(landed) && r[kClearance] <= 0.05) landed = r[kTime];
    if (r[kTime] < 50.0 - 1e-9) return;
    highestClearance = std::max(highestClearance, r[kClearance]);
    lowZ = std::min(lowZ, r[kZ]);
    highZ = std::max(highZ, r[kZ]);
    moved = std::max(moved, Distance(from, kX, r, kX));
  });
  EXPECT_TRUE(strapsGone);
  EXPECT_GT(last[kBalloonZ] - cut[kBalloonZ], 20.0);  // the balloon rose
  EXPECT_GT(Distance(last, kX, last, kBalloonX), 20.0);
  EXPECT_LT(landed, 50.0);
  EXPECT_LT(highestClearance, 0.05);
  EXPECT_LT(highZ - lowZ, 0.05);
  EXPECT_LT(moved, 0.3);
}

// Each change in the direction physics expects, one flight each against the
// built-in machine's.
TEST_F(Scenario, AircraftValuesChangeTheFlightTheWayPhysicsSays) {
  // A larger fin damps the yaw: a slower full-roll turn.
  double turn = -HeadingRate(Fly("turn_left"), 30.0, 50.0);
  double bigFin = -HeadingRate(FlyWith("turn_left", "", {"fin.height=2.2"}), 30.0, 50.0);
  EXPECT_GT(turn, 10.0);
  EXPECT_LT(bigFin, turn - 2.0);
  // More ballast: a slower climb.
  double climb = Mean(Fly("takeoff"), kVz, 6.0, 21.0);
  double heavy = Mean(FlyWith("takeoff", "", {"fuselage.mass=1700"}), kVz, 6.0, 21.0);
  EXPECT_GT(climb, 1.5);
  EXPECT_LT(heavy, climb - 0.15);
  // A faster beat: a faster cruise.
  double cruise = Mean(Fly("cruise"), kSpeed, 40.0, 60.0);
  double faster = Mean(FlyWith("cruise", "", {"beat.powered_rate=2.5"}), kSpeed, 40.0, 60.0);
  EXPECT_GT(faster, cruise + 0.5);
}

TEST_F(Scenario, TheSmallFinExampleSpinsFlat) {
  std::vector<Row> rows = FlyWith("turn_left", TARN_AIRCRAFT_DIR "/SmallFin.ini", {});
  ASSERT_FALSE(rows.empty());
  EXPECT_GT(-HeadingRate(rows, 30.0, 50.0), 40.0);
  EXPECT_LT(Mean(rows, kSpeed, 30.0, 50.0), 0.6 * Mean(rows, kSpeed, 15.0, 20.0));
}

// Averages over the last 30 s of the flight.
struct Figures {
  double airspeed, groundSpeed, climb, heading, x, y, windY;
};
Figures Measure(const std::vector<Row>& rows) {
  Figures f = {0, 0, 0, 0, 0, 0, 0};
  size_t from = 0;
  while (from < rows.size() && rows[from][kTime] < 30) from++;
  const Row &a = rows[from], &b = rows.back();
  double n = 0;
  for (size_t i = from; i < rows.size(); i++, n++) {
    const Row& r = rows[i];
    double still = std::sqrt(r[kVx] * r[kVx] + r[kVy] * r[kVy] + r[kVz] * r[kVz]);
    f.airspeed += std::isfinite(r[kAirspeed]) ? r[kAirspeed] : still;
    f.groundSpeed += std::hypot(r[kVx], r[kVy]);
  }
  // The wind the fuselage met across the whole flight, integrated over time.
  for (size_t i = 1; i < rows.size(); i++)
    if (std::isfinite(rows[i][kAirY])) f.windY += rows[i][kAirY] * (rows[i][kTime] - rows[i - 1][kTime]);
  f.airspeed /= n, f.groundSpeed /= n;
  f.climb = (b[kZ] - a[kZ]) / (b[kTime] - a[kTime]);
  f.heading = b[kHeading];
  f.x = b[kX], f.y = b[kY];
  return f;
}

// The cruise flown in still air, a 3 m/s headwind, tailwind and crosswind,
// light and moderate turbulence, and over a thermal: the table the README
// quotes (telemetry in <build>/scenarios/air_<name>.csv).
TEST_F(Scenario, CruiseInWindTurbulenceAndAThermal) {
  std::vector<Row> still = Fly("cruise", "", "air_still");
  ASSERT_FALSE(still.empty());
  // The thermal is placed where the still-air flight is at 40 s.
  size_t at40 = 0;
  while (at40 < still.size() && still[at40][kTime] < 40) at40++;
  char thermal[128];
  std::snprintf(thermal, sizeof thermal, "0 thermal %.1f %.1f 2.5 40 600\n", still[at40][kX], still[at40][kY]);
  struct Case {
    const char* name;
    std::string lines;
  };
  // The machine cruises toward world -X (heading 270).
  const Case cases[] = {{"headwind", "0 wind 3 270\n"},          {"tailwind", "0 wind 3 90\n"},
                        {"crosswind", "0 wind 3 0\n"},           {"light", "0 seed 7\n0 turbulence light\n"},
                        {"moderate", "0 seed 7\n0 turbulence moderate\n"}, {"thermal", thermal}};
  const Figures base = Measure(still);
  std::printf("%-10s %9s %9s %8s %8s %10s\n", "air", "airspeed", "ground", "climb", "heading", "drift (m)");
  auto print = [&](const char* name, const Figures& f) {
    std::printf("%-10s %9.2f %9.2f %8.2f %8.1f %10.1f\n", name, f.airspeed, f.groundSpeed, f.climb, f.heading,
                f.y - base.y);
  };
  print("still", base);
  Figures figures[6];
  for (int i = 0; i < 6; i++) {
    std::vector<Row> rows = Fly("cruise", cases[i].lines, std::string("air_") + cases[i].name);
    ASSERT_FALSE(rows.empty()) << cases[i].name;
    figures[i] = Measure(rows);
    print(cases[i].name, figures[i]);
  }
  const Figures &head = figures[0], &tail = figures[1], &cross = figures[2], &up = figures[5];
  // A headwind lowers the ground speed, not the speed through the air.
  EXPECT_LT(head.groundSpeed, base.groundSpeed - 1.0);
  EXPECT_NEAR(head.airspeed / base.airspeed, 1, 0.2);
  EXPECT_GT(tail.groundSpeed, base.groundSpeed + 1.0);
  // The crosswind from the north carries the track south by at least the
  // wind the fuselage met, integrated over the flight, and by less than
  // twice that: the balloon above meets stronger wind and the machine turns
  // downwind (1.45 times when measured).
  EXPECT_LT(cross.windY, -20);
  EXPECT_GT((cross.y - base.y) / cross.windY, 0.8);
  EXPECT_LT((cross.y - base.y) / cross.windY, 2.0);
  // The thermal lifts it.
  EXPECT_GT(up.climb, base.climb + 0.2);
}

// Ten minutes in moderate turbulence, a breeze and the thermal field, with
// the stick moving: recorded, then replayed bit for bit from the file alone.
TEST_F(Scenario, TenMinutesInModerateTurbulenceRecordAndReplayExactly) {
  std::string script = "0 seed 11\n0 wind 3 240\n0 turbulence moderate\n0 thermals on\n"
                       "0 press Pause\n0.5 press E\n1 press Z\n5 down Up\n";
  for (int t = 30; t < 600; t += 30) {
    char line[96];
    std::snprintf(line, sizeof line, "%d axis roll %.2f\n%d.5 axis pitch %.2f\n", t, 0.4 * std::sin(t * 0.7), t,
                  0.3 * std::cos(t * 0.3));
    script += line;
  }
  script += "600 end\n";
  std::vector<ScriptEvent> events;
  std::string error;
  ASSERT_TRUE(ParseScript(script, events, error)) << error;
  const std::string path = dir_ + "/turbulence.tarnflight";
  LogCapture quiet;
  air::Current = air::Settings();
  Recorder recorder(ContentFingerprint(""), "test");
  ASSERT_TRUE(recorder.Start(path, true)) << quiet.text();
  RunOptions options;
  options.recorder = &recorder;
  RunResult flown = flight::Run(events, options);
  ASSERT_FALSE(flown.broken);
  ASSERT_GE(flown.rows.size(), size_t(600 * 60));
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Flight f;
  ASSERT_TRUE(ParseFlight(text.str(), f, error)) << error;
  // The air is in the file, not in the process: forget it before the replay.
  air::Current = air::Settings();
  RunResult replayed = ReplayFlight(f, RunOptions());
  EXPECT_EQ(Verdict(f, replayed), "replay matches");
  EXPECT_EQ(replayed.finalHash, flown.finalHash);
  // It was rough air: the fuselage met gusts of metres a second.
  double lo = 1e9, hi = -1e9;
  for (const Row& r : flown.rows)
    if (std::isfinite(r[kAirZ])) lo = std::min(lo, r[kAirZ]), hi = std::max(hi, r[kAirZ]);
  EXPECT_GT(hi - lo, 2.0);
}

}  // namespace
