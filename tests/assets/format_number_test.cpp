// FormatNumber: its own texts, and random doubles against the C library's exact
// "%.6f" (glibc prints the exact binary value, rounded half to even).
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <utility>

#include "assets/format_number.h"
#include "test_support.h"

namespace {

std::string F(double v) { return FormatNumber(v).c_str(); }

// Short values, ties to the even digit, a carry into the integer part, and
// what the C library would print differently: signed zeros, infinities, NaNs.
TEST(FormatNumberTest, EdgeValues) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  const std::pair<double, const char*> cases[] = {
      {5, "5"}, {-2.5, "-2.5"}, {0.1, "0.1"}, {1.0 / 3, "0.333333"}, {2.0 / 3, "0.666667"}, {0.0078125, "0.007812"},
      {0.0234375, "0.023438"}, {0.9999996, "1"}, {1e-7, "0"}, {tiny, "0"}, {0.0, "0"}, {-0.0, "0"}, {-1e-7, "-0"},
      {-tiny, "-0"}, {INFINITY, "#INF"}, {-INFINITY, "-#INF"}, {std::nan(""), "#NAN"}, {-std::nan(""), "-#NAN"}};
  for (const auto& c : cases) EXPECT_EQ(F(c.first), c.second) << c.first;
  const std::string big = F(1e300);  // a full-length integer
  EXPECT_TRUE(big.size() == 301 && big.find_first_not_of("0123456789") == std::string::npos) << big;
  EXPECT_EQ(FormatNumber(7).size, 2u);  // the size counts the terminator
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
    const uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, 8);  // any bit pattern, or head-up magnitudes, ties at the sixth digit, short dyadics
    if (i % 4 == 1) v = std::ldexp(double(rng() >> 11), -53) * std::pow(10.0, int(rng() % 8)) * (rng() & 1 ? 1 : -1);
    if (i % 4 == 2) v = (double(rng() % 100000000) + 0.5) / 1e6;
    if (i % 4 == 3) v = std::ldexp(double(rng() % 100000), -int(rng() % 30));
    if (!std::isfinite(v)) continue;
    ASSERT_EQ(F(v), Printf(v)) << v;
  }
}

}  // namespace
