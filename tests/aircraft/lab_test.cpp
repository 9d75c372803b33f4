// The flight runner's lab: the metrics against numbers worked out by hand on
// a synthetic flight, the sweep's values and keys, and the merge of shards.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/flight/lab.h"

namespace {

using namespace flight;

// A 3-second flight at 10 frames a second: velocity (3, 4, 1) m/s, height
// z = t, heading 350 + 6t degrees (through north), bank 10 degrees, a 2 Hz
// beat of five frames per cycle with the tip and the root hinge stepping
// through fixed values, 5 J of drive work and a thrust of 100 + 50 cos(beat
// phase) each frame. Outside the 1..3 s window, values that would show if the
// window leaked.
void Synthetic(std::vector<Row>& rows, std::vector<Probe>& probes) {
  const double tip[5] = {0.5, 0, -0.5, 0, 0.25}, root[5] = {0.25, 0, -0.25, 0, 0};
  for (int k = 0; k <= 30; k++) {
    double t = k * 0.1;
    Row r(kColumnCount, std::nan(""));
    r[kTime] = t;
    r[kVx] = 3, r[kVy] = 4, r[kVz] = 1;
    r[kX] = 3 * t, r[kY] = 4 * t, r[kZ] = t;
    r[kHeading] = std::fmod(350 + 6 * t, 360);
    r[kRoll] = 10;
    r[kBeatRate] = 2;
    r[kBeatPhase] = (k % 5) / 5.0;
    r[kClearance] = 1;
    Probe p;
    p.tipHeight = tip[k % 5];
    p.rootAngle = root[k % 5];
    p.driveWork = 5;
    p.thrust = 100 + 50 * std::cos(2 * M_PI * (k % 5) / 5.0);
    p.minStrapTension = 300 + k;
    p.maxHingeTorque = 40 + k;
    if (k == 5) {  // before the window: a hard landing, a slack strap, a huge torque
      r[kClearance] = 0, r[kVz] = -3;
      p.minStrapTension = 10;
      p.maxHingeTorque = 1e6;
      p.tipHeight = 9;
    }
    rows.push_back(r);
    probes.push_back(p);
  }
}

TEST(LabMetrics, HandWorkedValuesOverTheWindow) {
  std::vector<Row> rows;
  std::vector<Probe> probes;
  Synthetic(rows, probes);
  const double U = std::sqrt(26.0);
  Metrics m = Measure(rows, probes, {1, 3}, /*chord*/ 1.0, /*span*/ 4.0);
  EXPECT_EQ(m.frames, 21u);
  EXPECT_NEAR(m.airspeed, U, 1e-12);
  EXPECT_NEAR(m.groundSpeed, 5, 1e-12);
  EXPECT_NEAR(m.climbRate, 1, 1e-12);
  EXPECT_NEAR(m.headingRate, 6, 1e-9);  // across north, not -174 deg/s
  EXPECT_NEAR(m.bank, 10, 1e-12);
  EXPECT_NEAR(m.heightGained, 2, 1e-12);
  EXPECT_NEAR(m.minStrapTension, 310, 1e-12);
  EXPECT_NEAR(m.maxHingeTorque, 70, 1e-12);
  EXPECT_NEAR(m.drivePower, 20 * 5 / 2.0, 1e-9);  // 20 frames' work over 2 s
  // Three whole beats (frames 15..29): the cosine cancels. The whole window
  // (five frames at phase 0) would give 100 + 50/21.
  EXPECT_NEAR(m.thrust, 100, 1e-9);
  EXPECT_NEAR(m.strouhal, 2 * 1.0 / U, 1e-12);             // f A / U, A = 1 m tip travel
  EXPECT_NEAR(m.reducedFrequency, M_PI * 2 * 1.0 / U, 1e-12);  // pi f c / U
  EXPECT_NEAR(m.advanceRatio, U / (2 * 0.5 * 2 * 4.0), 1e-12);  // U / (2 phi f R)
  EXPECT_FALSE(m.hardContact);

  // The whole flight sees what the window hid; the default is the last third.
  Metrics all = Measure(rows, probes, {0, 3}, 1.0, 4.0);
  EXPECT_TRUE(all.hardContact);
  EXPECT_EQ(all.minStrapTension, 10);
  EXPECT_NEAR(all.strouhal, 2 * 9.5 / all.airspeed, 1e-12);
  Metrics last = Measure(rows, probes, {std::nan(""), std::nan("")}, 1.0, 4.0);
  EXPECT_EQ(last.frames, 11u);  // 2.0 .. 3.0 s

  // Standing still: no airspeed to make the ratios of.
  for (Row& r : rows) r[kVx] = r[kVy] = r[kVz] = 0;
  Metrics still = Measure(rows, probes, {1, 3}, 1.0, 4.0);
  EXPECT_TRUE(std::isnan(still.strouhal));
  EXPECT_EQ(MetricFields(still, 0).substr(0, 6), "0,0,0,");
}

TEST(LabSweep, ValuesKeysAndRefusals) {
  SweepAxis a;
  std::string error;
  ASSERT_TRUE(ParseSweep("fin.height=0.5:2.5:3", a, error)) << error;
  EXPECT_EQ(a.values, (std::vector<std::string>{"0.5", "1.5", "2.5"}));
  ASSERT_TRUE(ParseSweep("wing.chord=0.1:0.3:3", a, error)) << error;
  EXPECT_EQ(a.values, (std::vector<std::string>{"0.1", "0.2", "0.3"}));  // as typed, not 0.30000000000000004
  ASSERT_TRUE(ParseSweep("air.turbulence=off,2,severe", a, error)) << error;
  ASSERT_TRUE(ParseSweep("air.wind_speed=0:10:1", a, error)) << error;
  EXPECT_EQ(a.values, (std::vector<std::string>{"0"}));

  std::vector<SweepAxis> axes = {{"a", {"1", "2"}}, {"b", {"x", "y", "z"}}};
  EXPECT_EQ(CaseCount(axes), 6u);
  EXPECT_EQ(CaseValues(axes, 0), (std::vector<std::string>{"1", "x"}));
  EXPECT_EQ(CaseValues(axes, 4), (std::vector<std::string>{"2", "y"}));  // the last key changes fastest

  struct Bad {
    const char* text;
    const char* says;
  } bad[] = {{"fin.hieght=1,2", "unknown key fin.hieght (did you mean fin.height?)"},
             {"air.wind_sped=1,2", "did you mean air.wind_speed?"},
             {"fin.height=1:2:0", "COUNT must be a whole number of at least 1"},
             {"fin.height=1:2:2.5", "COUNT must be a whole number"},
             {"fin.height=1:tall:3", "\"tall\" is not a number"},
             {"fin.height=1,,2", "an empty value"},
             {"fin.height=1:2:200000", "more than the 100000 cases"},
             {"fin.height=99", "outside"},
             {"air.turbulence=gale", "air.turbulence"},
             {"fin.height", "wants KEY=FROM:TO:COUNT"}};
  for (const Bad& b : bad) {
    EXPECT_FALSE(ParseSweep(b.text, a, error)) << b.text;
    EXPECT_NE(error.find(b.says), std::string::npos) << b.text << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(LabSummary, ShardsMergeIntoTheSingleRunAndOtherSweepsAreRefused) {
  std::vector<SweepAxis> axes = {{"fin.height", {"1", "2", "3"}}};
  std::vector<SummaryRow> all, one, two;
  for (size_t i = 0; i < 3; i++) {
    SummaryRow r = {i, SummaryRowText(i, {axes[0].values[i]}, i == 1 ? "failed: a, b" : "ok", EmptyMetricFields())};
    all.push_back(r);
    (i % 2 == 0 ? one : two).push_back(r);
  }
  EXPECT_NE(all[1].text.find(",failed: a; b,"), std::string::npos);  // a comma would shift the columns
  std::string single = SummaryText(7, axes, 1, 1, all);
  std::string s1 = SummaryText(7, axes, 1, 2, one), s2 = SummaryText(7, axes, 2, 2, two);
  std::string merged, error;
  ASSERT_TRUE(MergeSummaries({s2, s1}, {"b", "a"}, merged, error)) << error;
  EXPECT_EQ(merged, single);

  std::string other = SummaryText(8, axes, 2, 2, two);
  EXPECT_FALSE(MergeSummaries({s1, other}, {"a", "c"}, merged, error));
  EXPECT_NE(error.find("c is a shard of another sweep"), std::string::npos) << error;
  EXPECT_FALSE(MergeSummaries({s1}, {"a"}, merged, error));
  EXPECT_NE(error.find("shard 2/2 is missing"), std::string::npos) << error;
  EXPECT_FALSE(MergeSummaries({s1, s1}, {"a", "a2"}, merged, error));
  EXPECT_NE(error.find("given twice"), std::string::npos) << error;
  EXPECT_FALSE(MergeSummaries({"time,x\n1,2\n"}, {"t.csv"}, merged, error));
  EXPECT_NE(error.find("not a tarn-flight summary"), std::string::npos) << error;
  // A shard cut short loses a case: refused, not merged without it.
  EXPECT_FALSE(MergeSummaries({s1.substr(0, s1.rfind('\n', s1.size() - 2) + 1), s2}, {"a", "b"}, merged, error));
  EXPECT_NE(error.find("case 2 is missing"), std::string::npos) << error;

  std::string svg;
  ASSERT_TRUE(SweepSvgText(single, svg, error)) << error;
  EXPECT_NE(svg.find("fin.height (m)"), std::string::npos);
  EXPECT_NE(svg.find("airspeed (m/s)"), std::string::npos);
}

}  // namespace
