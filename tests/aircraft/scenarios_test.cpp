// Flight scenarios: the scripts of scenarios/ flown headless in the real
// content of the run directory (the models the content builder wrote), with
// the targets the aircraft must meet.
// Each run leaves its telemetry in <build>/scenarios/<name>.csv and .svg.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/log.h"
#include "tools/flight/flight.h"

namespace {

using flight::Row;

struct Flight {
  flight::RunResult result;
  bool ok = false;
};

bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

void RemoveRunDir(const std::string& dir) {
  for (const char* file : {"PlaneTarn.mdl", "PlaneTarn.mdc", "DivadiZarov.mdl", "DivadiZarov.mdc"})
    std::remove((dir + "/Models/" + file).c_str());
  rmdir((dir + "/Models").c_str());
  rmdir(dir.c_str());
}

// A private run directory holding the raw models of <build>/run: each test
// process compiles its own ".mdc" files, so parallel tests never read a
// compiled model another one is still writing. Textures and shaders are not
// needed without a device.
std::string PrivateRunDir() {
  std::string source = TARN_BINARY_DIR "/run/Models/";
  std::string dir = ::testing::TempDir() + "tarn_scenario_" + std::to_string(getpid());
  mkdir(dir.c_str(), 0755);
  mkdir((dir + "/Models").c_str(), 0755);
  for (const char* model : {"PlaneTarn.mdl", "DivadiZarov.mdl"}) {
    if (!CopyFile(source + model, dir + "/Models/" + model)) {
      ADD_FAILURE() << "no " << source << model << ": build the content target first";
      RemoveRunDir(dir);
      return "";
    }
  }
  return dir;
}

// Flies scenarios/<name>.txt in a copy of the run directory's content and
// writes its telemetry.
Flight Fly(const std::string& name) {
  Flight f;
  std::ifstream in(std::string(TARN_SCENARIO_DIR) + "/" + name + ".txt");
  if (!in) {
    ADD_FAILURE() << "missing scenario " << name;
    return f;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<flight::ScriptEvent> events;
  std::string error;
  if (!flight::ParseScript(text.str(), events, error)) {
    ADD_FAILURE() << name << ": " << error;
    return f;
  }
  std::string runDir = PrivateRunDir();
  if (runDir.empty()) return f;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr || chdir(runDir.c_str()) != 0) {
    ADD_FAILURE() << "can't enter " << runDir;
    RemoveRunDir(runDir);
    return f;
  }
  {
    LogCapture quiet;  // model loading lines
    f.result = flight::Run(events, flight::RunOptions());
  }
  if (chdir(cwd) != 0) ADD_FAILURE() << "can't return to " << cwd;
  RemoveRunDir(runDir);
  std::string outDir = TARN_BINARY_DIR "/scenarios";
  mkdir(outDir.c_str(), 0755);
  flight::WriteCsv(outDir + "/" + name + ".csv", f.result.rows);
  flight::WriteSvg(outDir + "/" + name + ".svg", f.result.rows);
  std::printf("%s: %s\n", name.c_str(), flight::Summary(f.result).c_str());
  EXPECT_FALSE(f.result.broken) << name << " produced NaN";
  f.ok = !f.result.rows.empty() && !f.result.broken;
  return f;
}

// Rows with from <= time <= to.
template <class F>
void ForRows(const Flight& f, double from, double to, F fn) {
  for (const Row& r : f.result.rows)
    if (r[flight::kTime] >= from - 1e-9 && r[flight::kTime] <= to + 1e-9) fn(r);
}

const Row* RowAt(const Flight& f, double t) {
  for (const Row& r : f.result.rows)
    if (r[flight::kTime] >= t - 1e-9) return &r;
  return nullptr;
}

double HorizontalDistance(const Row& a, const Row& b) {
  return std::hypot(b[flight::kX] - a[flight::kX], b[flight::kY] - a[flight::kY]);
}

// Heading change from `from` to `to`, unwrapped frame by frame (degrees).
double HeadingChange(const Flight& f, double from, double to) {
  double total = 0, last = NAN;
  ForRows(f, from, to, [&](const Row& r) {
    double h = r[flight::kHeading];
    if (!std::isnan(last)) {
      double d = h - last;
      while (d > 180) d -= 360;
      while (d < -180) d += 360;
      total += d;
    }
    last = h;
  });
  return total;
}

// Mean pitch and roll over each full beat cycle (phase wrap to phase wrap)
// after `from`; returns the largest magnitude of either.
double WorstBeatMeanAttitude(const Flight& f, double from, double to, int* cycles) {
  double worst = 0, sumPitch = 0, sumRoll = 0, lastPhase = NAN;
  int n = 0;
  bool started = false;
  *cycles = 0;
  ForRows(f, from, to, [&](const Row& r) {
    double phase = r[flight::kBeatPhase];
    bool wrapped = !std::isnan(lastPhase) && phase < lastPhase;
    lastPhase = phase;
    if (wrapped) {
      if (started && n > 0) {
        worst = std::max(worst, std::fabs(sumPitch / n));
        worst = std::max(worst, std::fabs(sumRoll / n));
        (*cycles)++;
      }
      started = true;
      sumPitch = sumRoll = 0;
      n = 0;
    }
    sumPitch += r[flight::kPitch];
    sumRoll += r[flight::kRoll];
    n++;
  });
  return worst;
}

TEST(Scenario, Rest) {
  Flight f = Fly("rest");
  ASSERT_TRUE(f.ok);
  const Row* settled = RowAt(f, 5.0);
  ASSERT_NE(settled, nullptr);
  double drift = 0, highestFoot = 0;
  ForRows(f, 5.0, 30.0, [&](const Row& r) {
    drift = std::max(drift, std::sqrt(std::pow(r[flight::kX] - (*settled)[flight::kX], 2) +
                                      std::pow(r[flight::kY] - (*settled)[flight::kY], 2) +
                                      std::pow(r[flight::kZ] - (*settled)[flight::kZ], 2)));
    highestFoot = std::max(highestFoot, r[flight::kHeight]);
  });
  const Row& last = f.result.rows.back();
  std::printf("rest: drift after 5 s %.4f m, highest foot %.4f m, final phase %.4f rate %.3f\n",
              drift, highestFoot, last[flight::kBeatPhase], last[flight::kBeatRate]);
  EXPECT_NEAR(last[flight::kTime], 30.0, 1e-6);
  EXPECT_LT(drift, 0.3);
  EXPECT_LT(highestFoot, 0.1);
  EXPECT_EQ(last[flight::kBeatRate], 0.0);
  EXPECT_GT(last[flight::kBeatPhase], 0.28);
  EXPECT_LT(last[flight::kBeatPhase], 0.32);
}

TEST(Scenario, TakeOff) {
  Flight f = Fly("takeoff");
  ASSERT_TRUE(f.ok);
  double best = -1e9, reached = NAN;
  ForRows(f, 1.0, 21.0, [&](const Row& r) {
    if (r[flight::kHeight] > best) best = r[flight::kHeight];
    if (std::isnan(reached) && r[flight::kHeight] >= 10) reached = r[flight::kTime];
  });
  int cycles = 0;
  double worst = WorstBeatMeanAttitude(f, 1.0, 21.0, &cycles);
  std::printf("takeoff: highest %.2f m, 10 m reached at %.2f s, worst beat-mean attitude "
              "%.1f deg over %d beats\n", best, reached, worst, cycles);
  EXPECT_GE(best, 10.0);
  EXPECT_GT(cycles, 30);
  EXPECT_LE(worst, 30.0);
}

TEST(Scenario, Cruise) {
  Flight f = Fly("cruise");
  ASSERT_TRUE(f.ok);
  double sumSpeed = 0, lowest = 1e9;
  int n = 0;
  ForRows(f, 40.0, 60.0, [&](const Row& r) {
    sumSpeed += r[flight::kSpeed];
    n++;
  });
  bool airborne = false;
  ForRows(f, 1.0, 60.0, [&](const Row& r) {
    if (r[flight::kHeight] > 1.0) airborne = true;
    if (airborne) lowest = std::min(lowest, r[flight::kHeight]);
  });
  double mean = n ? sumSpeed / n : 0;
  double travelled = HorizontalDistance(f.result.rows.front(), f.result.rows.back());
  std::printf("cruise: mean speed over the last 20 s %.2f m/s, %.1f m from the start, lowest "
              "height after lift-off %.2f m\n", mean, travelled, lowest);
  EXPECT_GE(mean, 3.0);
  EXPECT_GE(travelled, 100.0);
  EXPECT_TRUE(airborne);
  EXPECT_GT(lowest, 0.0);
}

TEST(Scenario, Turns) {
  Flight left = Fly("turn_left");
  Flight right = Fly("turn_right");
  ASSERT_TRUE(left.ok);
  ASSERT_TRUE(right.ok);
  double dl = HeadingChange(left, 20.0, 35.0);
  double dr = HeadingChange(right, 20.0, 35.0);
  std::printf("turns: heading change with Left %.1f deg, with Right %.1f deg\n", dl, dr);
  EXPECT_GE(std::fabs(dl), 60.0);
  EXPECT_GE(std::fabs(dr), 60.0);
  EXPECT_LT(dl * dr, 0.0);  // opposite senses
}

TEST(Scenario, Release) {
  Flight f = Fly("release");
  ASSERT_TRUE(f.ok);
  const Row* cut = RowAt(f, 20.0);
  ASSERT_NE(cut, nullptr);
  const Row& last = f.result.rows.back();
  bool strapsGone = true;
  ForRows(f, 20.1, 60.0, [&](const Row& r) {
    for (int i = 0; i < 4; i++) strapsGone = strapsGone && std::isnan(r[flight::kStrap1 + i]);
  });
  double rise = last[flight::kBalloonZ] - (*cut)[flight::kBalloonZ];
  double apart = std::sqrt(std::pow(last[flight::kBalloonX] - last[flight::kX], 2) +
                           std::pow(last[flight::kBalloonY] - last[flight::kY], 2) +
                           std::pow(last[flight::kBalloonZ] - last[flight::kZ], 2));
  // Down: some part of the airframe touches the ground. Resting: in the last
  // 10 s the fuselage neither bounces nor wanders.
  const Row* from = RowAt(f, 50.0);
  ASSERT_NE(from, nullptr);
  double highestClearance = -1e9, lowZ = 1e9, highZ = -1e9, moved = 0;
  ForRows(f, 50.0, 60.0, [&](const Row& r) {
    highestClearance = std::max(highestClearance, r[flight::kClearance]);
    lowZ = std::min(lowZ, r[flight::kZ]);
    highZ = std::max(highZ, r[flight::kZ]);
    moved = std::max(moved, std::sqrt(std::pow(r[flight::kX] - (*from)[flight::kX], 2) +
                                      std::pow(r[flight::kY] - (*from)[flight::kY], 2) +
                                      std::pow(r[flight::kZ] - (*from)[flight::kZ], 2)));
  });
  double landed = NAN;
  ForRows(f, 20.0, 60.0, [&](const Row& r) {
    if (std::isnan(landed) && r[flight::kClearance] <= 0.05) landed = r[flight::kTime];
  });
  std::printf("release: balloon rose %.1f m and is %.1f m away; touched down at %.2f s; last "
              "10 s: highest clearance %.3f m, fuselage height range %.4f m, moved %.4f m\n",
              rise, apart, landed, highestClearance, highZ - lowZ, moved);
  EXPECT_TRUE(strapsGone);
  EXPECT_GT(rise, 20.0);
  EXPECT_GT(apart, 20.0);
  EXPECT_LT(landed, 50.0);
  EXPECT_LT(highestClearance, 0.05);
  EXPECT_LT(highZ - lowZ, 0.05);
  EXPECT_LT(moved, 0.3);
}

}  // namespace
