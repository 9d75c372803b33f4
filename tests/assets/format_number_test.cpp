// FormatNumber: random doubles (huge, tiny, ties) against the C library's
// exact "%.6f" (glibc prints the exact binary value, rounded half to even),
// and the values it prints in its own way.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "assets/format_number.h"
#include "test_support.h"

namespace {

std::string F(double v) { return FormatNumber(v).c_str(); }

// Short values, ties to the even digit, a carry into the integer part, a
// full-length integer, and what the C library would print differently:
// signed zeros, infinities and NaNs; the string's size counts its terminator.
TEST(FormatNumberTest, EdgeValues) {
  const std::pair<double, const char*> cases[] = {
      {5, "5"}, {-2.5, "-2.5"}, {0.1, "0.1"}, {1.0 / 3, "0.333333"}, {2.0 / 3, "0.666667"},
      {0.0078125, "0.007812"}, {0.0234375, "0.023438"}, {0.9999996, "1"}, {1e-7, "0"},
      {std::numeric_limits<double>::denorm_min(), "0"}};
  for (const auto& c : cases) EXPECT_EQ(F(c.first), c.second) << c.first;
  const std::string big = F(1e300);
  EXPECT_EQ(big.size(), 301u);
  EXPECT_EQ(big.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(F(0.0), "0");
  EXPECT_EQ(F(-0.0), "0");
  EXPECT_EQ(F(-1e-7), "-0");
  EXPECT_EQ(F(-std::numeric_limits<double>::denorm_min()), "-0");
  EXPECT_EQ(F(INFINITY), "#INF");
  EXPECT_EQ(F(-INFINITY), "-#INF");
  EXPECT_EQ(F(std::nan("")), "#NAN");
  EXPECT_EQ(F(-std::nan("")), "-#NAN");
  EXPECT_EQ(FormatNumber(7).size, 2u);
}

// "%.6f" with trailing zeros and a bare point removed; zero of either sign is "0".
std::string Printf(double v) {
  if (v == 0) return "0";
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

TEST(FormatNumberTest, RandomDoublesMatchTheExactDecimalValue) {
  std::mt19937_64 rng(42);
  for (int i = 0; i < 4000; i++) {
    double v;
    switch (i % 4) {
      case 0: {  // any bit pattern
        uint64_t bits = rng();
        std::memcpy(&v, &bits, 8);
        break;
      }
      case 1:  // head-up magnitudes
        v = std::ldexp(double(rng() >> 11), -53) * std::pow(10.0, int(rng() % 8)) * (rng() & 1 ? 1 : -1);
        break;
      case 2:  // ties and near-ties at the sixth digit
        v = (double(rng() % 100000000) + 0.5) / 1e6;
        break;
      default:  // dyadic values with short exact expansions
        v = std::ldexp(double(rng() % 100000), -int(rng() % 30));
        break;
    }
    if (!std::isfinite(v)) continue;
    ASSERT_EQ(F(v), Printf(v)) << v;
  }
}

}  // namespace
