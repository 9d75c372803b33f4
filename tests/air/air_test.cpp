// Moving air: the models against their formulas, the turbulence field's
// statistics against the Dryden model, the seeded generator, the records on
// the effect list, the settings lines and the surface forces' use of the air.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "air/air.h"
#include "physics/surface.h"
#include "sim/frame_clock.h"
#include "tests/physics/meshes.h"

namespace {

class AirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetWorld();
    air::Current = air::Settings();
  }
  void TearDown() override {
    air::Clear();
    air::Current = air::Settings();
    ResetWorld();
  }
  static bool Apply(const std::string& line, double now = 0) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
      size_t j = line.find(' ', i);
      if (j == std::string::npos) j = line.size();
      if (j > i) words.push_back(line.substr(i, j - i));
      i = j + 1;
    }
    std::string error;
    bool ok = air::ApplyLine(words, now, air::Current, error);
    EXPECT_EQ(ok, error.empty() || ok) << line;
    return ok;
  }
};

// An island: land 5 m high within 300 m of the origin, the sea (-2 m) around.
void MakeIsland() {
  MakeGridGround(60, -600, -600, 1200, [](double x, double y) {
    return Vec3{x, y, std::hypot(x, y) < 300 ? 5.0 : air::kSeaLevel};
  });
}

TEST_F(AirTest, BoundaryLayerAndThermalProfiles) {
  // Log law relative to 10 m: zero at and below the surface, 1 at 10 m.
  EXPECT_EQ(air::LogProfile(0, air::kLandRoughness), 0.0);
  EXPECT_EQ(air::LogProfile(-1, air::kLandRoughness), 0.0);
  EXPECT_DOUBLE_EQ(air::LogProfile(10, air::kLandRoughness), 1.0);
  EXPECT_NEAR(air::LogProfile(2, 0.03), std::log(2.03 / 0.03) / std::log(10.03 / 0.03), 1e-12);
  // Smoother sea: more of the wind reaches low down.
  EXPECT_GT(air::LogProfile(2, air::kSeaRoughness), air::LogProfile(2, air::kLandRoughness));

  // The wind record: from the west (270) blows toward +X, with the profile
  // over the land and over the sea.
  MakeIsland();
  ASSERT_TRUE(Apply("wind 5 270"));
  air::Rebuild();
  Vec3 land = AirVelocityAt({0, 0, 5 + 2});
  EXPECT_NEAR(land.x, 5 * air::LogProfile(2, air::kLandRoughness), 1e-12);
  EXPECT_NEAR(land.y, 0, 1e-12);
  Vec3 sea = AirVelocityAt({500, 0, -2 + 2});
  EXPECT_NEAR(sea.x, 5 * air::LogProfile(2, air::kSeaRoughness), 1e-12);
  EXPECT_EQ(AirVelocityAt({0, 0, 4}).x, 0.0) << "below the land surface";
  EXPECT_EQ(land.z, 0.0) << "level land lifts nothing";

  // Slope lift: a hillside rising 1 in 5 toward the east, flat beyond 300 m.
  // The west wind climbs it; from the east it sinks down it; it fades with
  // height as the formula says and is gone over the level top.
  MakeGridGround(60, -600, -600, 1200, [](double x, double y) {
    return Vec3{x, y, 0.2 * std::clamp(x + 300, 0.0, 600.0)};
  });
  air::Rebuild();
  // The ground is read at the middle of 4 m cells: (2, 102) is one.
  const double base = 0.2 * 302;
  for (double h : {2.0, 20.0, 80.0}) {
    Vec3 v = AirVelocityAt({2, 102, base + h});
    const double level = 5 * air::LogProfile(h, air::kLandRoughness);
    EXPECT_NEAR(v.x, level, 1e-12) << h;
    EXPECT_NEAR(v.z, level * 0.2 * std::exp(-h / air::kSlopeFade), 1e-9) << h;
  }
  EXPECT_EQ(AirVelocityAt({400, 100, 120 + 10}).z, 0.0) << "the level top";
  ASSERT_TRUE(Apply("wind 5 90"));
  air::Rebuild();
  EXPECT_LT(AirVelocityAt({2, 102, base + 10}).z, -0.5) << "the lee";
  EXPECT_EQ(air::SlopeLift(3, 4, 0, 0, 10), 0.0);
  EXPECT_EQ(air::SlopeLift(3, 4, 0.1, 0.1, 0), 0.0) << "at the surface";

  // Thermal: core updraft, zero at the radius, a sink ring, no net flow.
  const double w0 = 2, R = 30, h = 100;
  const double grow = 1 - std::exp(-h / 30);
  EXPECT_DOUBLE_EQ(air::ThermalProfile(w0, R, 0, h), w0 * grow);
  EXPECT_NEAR(air::ThermalProfile(w0, R, R, h), 0, 1e-15);
  EXPECT_NEAR(air::ThermalProfile(w0, R, std::sqrt(2.0) * R, h), -w0 * std::exp(-2.0) * grow, 1e-12);
  EXPECT_LT(air::ThermalProfile(w0, R, 1.2 * R, h), 0);
  double flux = 0;
  for (double r = 0.05; r < 10 * R; r += 0.1) flux += air::ThermalProfile(w0, R, r, h) * r * 0.1;
  EXPECT_NEAR(flux / (w0 * R * R), 0, 1e-3);
  EXPECT_EQ(air::ThermalProfile(w0, R, 0, 0), 0.0);
  EXPECT_LT(air::ThermalProfile(w0, R, 0, 10), air::ThermalProfile(w0, R, 0, 60));
}

// Standard deviation and integral length scale (correlation integrated to
// five scales) of the components sampled along the wind at a height: [0]
// along the wind, [1] across it, [2] up.
struct Stats {
  double sigma, scale;
};
std::array<Stats, 3> Measure(const air::TurbulenceField& f, double height, double step, int lags) {
  // Eight lines along the wind, far apart across it, of 5,000 samples
  // each: one line alone keeps its slowest modes' chance offsets.
  const int lines = 8, n = 5000;
  std::array<std::vector<double>, 3> r;
  for (auto& c : r) c.assign(lags + 1, 0);
  for (int line = 0; line < lines; line++) {
    std::array<std::vector<double>, 3> x;
    for (auto& c : x) c.resize(n);
    double mean[3] = {0, 0, 0};
    for (int i = 0; i < n; i++) {
      // The wind from the south (180) blows toward +Y: samples along +Y.
      Vec3 v = f.At({line * 500 * step, i * step, height}, 0, 0);
      const double along[3] = {v.y, -v.x, v.z};
      for (int c = 0; c < 3; c++) x[c][i] = along[c], mean[c] += along[c] / n;
    }
    for (int c = 0; c < 3; c++)
      for (int j = 0; j <= lags; j++) {
        double sum = 0;
        for (int i = 0; i + j < n; i++) sum += (x[c][i] - mean[c]) * (x[c][i + j] - mean[c]);
        r[c][j] += sum / (n - j) / lines;
      }
  }
  std::array<Stats, 3> out;
  for (int c = 0; c < 3; c++) {
    double integral = 0.5 * (r[c][0] + r[c][lags]);
    for (int j = 1; j < lags; j++) integral += r[c][j];
    out[c] = {std::sqrt(r[c][0]), integral * step / r[c][0]};
  }
  return out;
}

TEST_F(AirTest, TurbulenceMatchesDrydenAtThreeHeights) {
#ifdef __SANITIZE_ADDRESS__
  // Half a million field samples: minutes under the sanitizers, which learn
  // nothing from them that the other air tests' samples do not show.
  GTEST_SKIP() << "statistics of a long sample; run in the normal build";
#endif
  // Four fields (seeds): one field of 220 modes a family has its integral
  // scales within about 12% of the model's; the model is their mean.
  const double w20 = air::SeverityWind(air::Severity::Moderate);
  std::vector<air::TurbulenceField> fields;
  for (uint64_t seed : {11, 12, 13, 14}) {
    air::Random random(seed);
    fields.emplace_back(random, w20, 0, 180);
  }
  // Correlation integrals to five scales: exp(-r/L) gives L (1 - e^-5); the
  // transverse (1 - r/2L) exp(-r/L) gives L (1/2 + 2 e^-5).
  const double along = 1 - std::exp(-5.0), across = 0.5 + 2 * std::exp(-5.0);
  for (double height : {10.0, 50.0, 200.0}) {
    SCOPED_TRACE("height " + std::to_string(height));
    air::Dryden d = air::DrydenAt(height, w20);
    EXPECT_NEAR(d.sigmaW, 0.1 * w20, 1e-12);
    EXPECT_GT(d.sigmaU, d.sigmaW);
    EXPECT_DOUBLE_EQ(d.lw, height);
    double lu = 0, lv = 0, lw = 0, su = 0, sv = 0, sw = 0;
    for (const air::TurbulenceField& field : fields) {
      // u and v sampled a tenth of Lu apart, w a tenth of Lw.
      std::array<Stats, 3> uv = Measure(field, height, d.lu / 10, 50);
      const Stats u = uv[0], v = uv[1], w = Measure(field, height, d.lw / 10, 50)[2];
      EXPECT_NEAR(u.sigma / d.sigmaU, 1, 0.05);
      EXPECT_NEAR(v.sigma / d.sigmaU, 1, 0.05);
      EXPECT_NEAR(w.sigma / d.sigmaW, 1, 0.05);
      lu += u.scale / fields.size(), lv += v.scale / fields.size(), lw += w.scale / fields.size();
      su += u.sigma / d.sigmaU / fields.size(), sv += v.sigma / d.sigmaU / fields.size();
      sw += w.sigma / d.sigmaW / fields.size();
    }
    std::printf("height %g m: sigma / model: u %.3f v %.3f w %.3f; integral scales / model: "
                "u %.3f v %.3f w %.3f\n",
                height, su, sv, sw, lu / (d.lu * along), lv / (d.lu * across), lw / (d.lw * across));
    EXPECT_NEAR(lu / (d.lu * along), 1, 0.10);
    EXPECT_NEAR(lv / (d.lu * across), 1, 0.10);
    EXPECT_NEAR(lw / (d.lw * across), 1, 0.10);
  }
  // Low altitude, MIL-F-8785C: at 20 ft sigma_u / sigma_w = 1 / 0.1935^0.4.
  air::Dryden low = air::DrydenAt(6.096, w20);
  EXPECT_NEAR(low.sigmaU / low.sigmaW, 1 / std::pow(0.177 + 0.000823 * 20, 0.4), 1e-9);
  EXPECT_NEAR(low.lu / 0.3048, 20 / std::pow(0.177 + 0.000823 * 20, 1.2), 1e-9);
}

TEST_F(AirTest, SameSeedSameAirOtherSeedOtherAir) {
  auto sample = [](uint64_t seed) {
    air::Random random(seed);
    air::TurbulenceField f(random, 10, 3, 45);
    std::vector<double> out;
    for (int i = 0; i < 20; i++) {
      Vec3 v = f.At({i * 1.7, -i * 0.3, 5.0 + i}, i * 0.25, 0);
      out.insert(out.end(), {v.x, v.y, v.z});
    }
    out.push_back(random.Normal(0, 1));
    return out;
  };
  std::vector<double> a = sample(7), b = sample(7), c = sample(8);
  EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(double)));
  EXPECT_NE(0, std::memcmp(a.data(), c.data(), a.size() * sizeof(double)));
  // The transforms: uniform in [0, 1), normal with its moments.
  air::Random r(1);
  double sum = 0, sq = 0;
  for (int i = 0; i < 100000; i++) {
    double u = r.Uniform();
    ASSERT_TRUE(u >= 0 && u < 1);
    double g = r.Normal(1.5, 0.3);
    sum += g, sq += g * g;
  }
  EXPECT_NEAR(sum / 100000, 1.5, 0.005);
  EXPECT_NEAR(std::sqrt(sq / 100000 - (sum / 100000) * (sum / 100000)), 0.3, 0.005);
}

TEST_F(AirTest, GustsAndThermalRecordsOnTheEffectList) {
  MakeIsland();
  // A 1-cosine gust: half its amplitude halfway up, the whole in its hold,
  // gone after its fall, and then off the list.
  ASSERT_TRUE(Apply("gust 4 90 1 2 1"));
  air::Rebuild();
  EXPECT_EQ(EffectCount, 1u);
  StepCounter = 250;  // 0.5 s
  EXPECT_NEAR(AirVelocityAt({0, 0, 50}).x, -2, 1e-12);  // from the east: toward -X
  StepCounter = 1000;
  EXPECT_NEAR(AirVelocityAt({0, 0, 50}).x, -4, 1e-12);
  StepCounter = 2001;
  PurgeEffects();
  EXPECT_EQ(EffectCount, 0u);
  EXPECT_FALSE(air::Moving());

  // The thermal field: only over the land, renewed as thermals die.
  air::Current = air::Settings();
  StepCounter = 0;
  ASSERT_TRUE(Apply("thermals on 20"));
  ASSERT_TRUE(Apply("seed 99"));
  air::Rebuild();
  // Land is 0.28 km^2 of the surveyed square: about 6 thermals at 20 per km^2.
  const uint32_t alive = EffectCount;
  EXPECT_GE(alive, 4u);
  EXPECT_LE(alive, 8u);
  for (int minute = 0; minute < 12; minute++) {
    StepCounter += 30000;
    PurgeEffects();
    EXPECT_EQ(EffectCount, alive) << "each finished thermal leaves, a new one is born";
  }
  // Every updraft is over the land: the sea never rises.
  for (double x = -580; x <= 580; x += 20)
    for (double y = -580; y <= 580; y += 20)
      if (std::hypot(x, y) > 420) {
        ASSERT_LE(AirVelocityAt({x, y, 40}).z, 1e-9) << x << " " << y;
      }
  bool rises = false;
  for (double x = -300; x <= 300 && !rises; x += 5)
    for (double y = -300; y <= 300 && !rises; y += 5) rises = AirVelocityAt({x, y, 60}).z > 0.5;
  EXPECT_TRUE(rises);

  // A placed thermal finishes at the end of its life and is not renewed.
  air::Current = air::Settings();
  ASSERT_TRUE(Apply("thermal 0 0 2 30 10"));
  air::Rebuild();
  EXPECT_EQ(EffectCount, 1u);
  StepCounter += 2500;
  EXPECT_GT(AirVelocityAt({0, 0, 60}).z, 0);
  StepCounter += 2501;
  PurgeEffects();
  EXPECT_EQ(EffectCount, 0u);
}

TEST_F(AirTest, LinesRoundTripAndBadInputIsRefused) {
  for (const char* line : {"wind 3 250", "turbulence moderate", "thermals on 3", "seed 12345678901234",
                           "gust 2 up 0.5 1 0.5", "gust 3 45", "thermal 100 -20 1.8 25 280"})
    ASSERT_TRUE(Apply(line, 2.5)) << line;
  air::Settings back;
  std::string error;
  for (const std::string& line : air::Lines(air::Current)) {
    std::vector<std::string> words;
    for (size_t i = 0, j; i < line.size(); i = j + 1) {
      j = line.find(' ', i);
      if (j == std::string::npos) j = line.size();
      words.push_back(line.substr(i, j - i));
    }
    ASSERT_TRUE(air::ApplyLine(words, 0, back, error)) << line << ": " << error;
  }
  EXPECT_EQ(air::Lines(back), air::Lines(air::Current));
  EXPECT_EQ(air::Fold(1, back), air::Fold(1, air::Current));
  EXPECT_EQ(back.gusts[0].start, 2.5);
  EXPECT_TRUE(air::Lines(air::Settings()).empty());

  const air::Settings before = air::Current;
  for (const char* bad : {"wind 80 270", "wind -1 0", "wind nan 0", "wind 3", "turbulence extreme",
                          "turbulence", "thermals maybe", "thermals on -2", "thermal 0 0 1.5 0",
                          "gust 3 90 0", "gust inf 90", "seed -4", "seed 99999999999999999999",
                          "seed x", "thermal 1e9 0"}) {
    std::vector<std::string> words;
    std::string s = bad;
    for (size_t i = 0, j; i < s.size(); i = j + 1) {
      j = s.find(' ', i);
      if (j == std::string::npos) j = s.size();
      words.push_back(s.substr(i, j - i));
    }
    error.clear();
    EXPECT_FALSE(air::ApplyLine(words, 0, air::Current, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_EQ(air::Lines(air::Current), air::Lines(before));
}

TEST_F(AirTest, SurfaceForcesMeetTheAirNotTheGround) {
  // A unit square facing up, rising at 1 m/s: in still air it meets the air
  // with 1 m/s; in an updraft of 1 m/s it meets none; in 2 m/s it is pushed up.
  const Vec3 p{-0.5, -0.5, 0}, q{0.5, -0.5, 0}, r{0.5, 0.5, 0}, s{-0.5, 0.5, 0};
  PhysicsWorld world;
  pBody* b = world.Body({p, q, r, p, r, s}, 1.0, {0, 0, 10});
  b->buoyancy = 0;
  b->surfacePeriod = 0;
  b->UpdatePlacement();
  auto impulse = [&] {
    b->velocity = {0, 0, 1}, b->momentum = b->angularMomentum = {0, 0, 0};
    b->surfaceCounter = 1;
    SurfaceForces(*b);
    return b->momentum.z;
  };
  const double still = impulse();
  EXPECT_DOUBLE_EQ(still, -0.02);
  air::Current.gusts.push_back(air::Gust{0, 1, 0, +1, 1, 100, 1});
  air::Rebuild();
  StepCounter = 1000;
  EXPECT_NEAR(impulse(), 0, 1e-15);
  air::Current.gusts[0].amplitude = 2;
  air::Rebuild();
  EXPECT_NEAR(impulse(), 0, 1e-15) << "air rising past a face that faces up presses on nothing";
  // Turned over, the face meets the rising air.
  b->orientation = Quat{1, 0, 0, 0};  // half a turn about X
  b->UpdatePlacement();
  EXPECT_NEAR(impulse(), 0.02, 1e-12);
  air::Clear();
  EXPECT_EQ(EffectCount, 0u);
  world.Clear();
}

}  // namespace

namespace {

// Keeps the lines it is given, and the modes.
class LineSink : public DebugDraw {
 public:
  struct Seg {
    Vec3 a, b;
  };
  std::vector<Seg> lines;
  std::vector<DebugMode> modes;
  void Untextured() override {}
  void SetMode(DebugMode mode) override { modes.push_back(mode); }
  void SetPose(const Vec3&, const Quat&) override {}
  void Triangle(const Vec3&, float, float, float, float, const Vec3&, float, float, float, float,
                const Vec3&, float, float, float, float) override {}
  void Line(const Vec3& p0, float, float, float, float, const Vec3& p1, float, float, float,
            float) override {
    lines.push_back({p0, p1});
  }
  void BoxEdges(const Box&, float, float, float, float) override {}
};

}  // namespace

TEST_F(AirTest, DebugPictureShowsThermalColumnsAndTheAirArrowOnlyInMovingAir) {
  MakeIsland();
  LineSink still;
  air::DrawAir(still, {0, 0, 50});
  EXPECT_TRUE(still.lines.empty() && still.modes.empty()) << "still air draws nothing";

  ASSERT_TRUE(Apply("wind 4 270"));
  ASSERT_TRUE(Apply("thermal -100 -50 2 30 270"));
  air::Rebuild();
  StepCounter = 500 * 60;  // a minute on: the thermal has drifted 240 m east
  LineSink sink;
  const Vec3 at = {0, 0, 50};
  air::DrawAir(sink, at);
  ASSERT_FALSE(sink.lines.empty());
  EXPECT_EQ(sink.modes.back(), DebugMode::Solid);
  // The column: every corner on the core radius about the drifted centre,
  // from the land under it (5 m) to 200 m above that.
  double low = 1e9, high = -1e9;
  int column = 0;
  for (const LineSink::Seg& s : sink.lines) {
    if (s.a.x == at.x && s.a.y == at.y && s.a.z == at.z) continue;
    double r = std::hypot(s.a.x - (-100 + 240), s.a.y + 50);
    if (std::fabs(r - 30) > 1e-9) continue;
    column++, low = std::min(low, s.a.z), high = std::max(high, s.b.z);
  }
  EXPECT_GE(column, 16);
  EXPECT_DOUBLE_EQ(low, 5.0);
  EXPECT_DOUBLE_EQ(high, 205.0);
  // The arrow: from the aircraft to the aircraft plus the air there.
  const Vec3 air = AirVelocityAt(at);
  bool shaft = false;
  for (const LineSink::Seg& s : sink.lines)
    shaft = shaft || (s.a.x == at.x && s.a.y == at.y && s.a.z == at.z &&
                      std::fabs(s.b.x - (at.x + air.x)) < 1e-12 && std::fabs(s.b.z - (at.z + air.z)) < 1e-12);
  EXPECT_TRUE(shaft);
  EXPECT_GT(air.x, 3.0) << "the wind from the west at 50 m";
}
