// FormatNumber: the listed edge cases, and random doubles against an exact
// decimal reference built differently (base-10 digit strings, doubling and
// halving) and against the C library's exact "%.6f".
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "assets/format_number.h"
#include "test_support.h"

namespace {

std::string F(double v) { return FormatNumber(v).c_str(); }

TEST(FormatNumberTest, EdgeCases) {
  EXPECT_EQ(F(0.0), "0");
  EXPECT_EQ(F(-0.0), "0");
  EXPECT_EQ(F(5), "5");
  EXPECT_EQ(F(-2.5), "-2.5");
  EXPECT_EQ(F(0.1), "0.1");
  EXPECT_EQ(F(1.0 / 3), "0.333333");
  EXPECT_EQ(F(2.0 / 3), "0.666667");
  EXPECT_EQ(F(0.0078125), "0.007812");  // exact tie, 2 is even
  EXPECT_EQ(F(0.0234375), "0.023438");  // exact tie, 7 is odd
  EXPECT_EQ(F(0.9999996), "1");
  EXPECT_EQ(F(-0.9999996), "-1");
  EXPECT_EQ(F(9.9999996), "10");
  EXPECT_EQ(F(1e-7), "0");
  EXPECT_EQ(F(-1e-7), "-0");
  EXPECT_EQ(F(1e20), "100000000000000000000");
  std::string big = F(1e300);
  EXPECT_EQ(big.size(), 301u);
  EXPECT_EQ(big.substr(0, 17), "10000000000000000");  // 1e300 is not exactly a power of ten
  EXPECT_EQ(F(std::numeric_limits<double>::denorm_min()), "0");
  EXPECT_EQ(F(-std::numeric_limits<double>::denorm_min()), "-0");
  EXPECT_EQ(F(DBL_MAX).size(), 309u);
  EXPECT_EQ(F(INFINITY), "#INF");
  EXPECT_EQ(F(-INFINITY), "-#INF");
  EXPECT_EQ(F(std::nan("")), "#NAN");
  EXPECT_EQ(F(-std::nan("")), "-#NAN");
  EXPECT_EQ(F(123.456), "123.456");
  EXPECT_EQ(F(-0.5), "-0.5");
  EXPECT_EQ(F(4503599627370497.0), "4503599627370497");
  EXPECT_EQ(F(0.000001), "0.000001");
  EXPECT_EQ(F(0.0000005), "0");  // the double nearest 5e-7 lies just below the tie
  EXPECT_EQ(FormatNumber(7).size, 2u);
}

// Exact decimal text of m * 2^e as base-10 digit strings: the integer part
// by repeated doubling, the fraction by repeated halving (each halving of a
// decimal fraction adds one digit exactly).
struct Decimal {
  std::string integer;   // most significant first, no leading zeros ("" for 0)
  std::string fraction;  // digits after the point, exact
};

void Double(std::string& digits) {
  int carry = 0;
  for (size_t i = digits.size(); i-- > 0;) {
    int d = (digits[i] - '0') * 2 + carry;
    digits[i] = char('0' + d % 10);
    carry = d / 10;
  }
  if (carry) digits.insert(digits.begin(), char('0' + carry));
}

Decimal Exact(uint64_t m, int e) {
  Decimal d;
  std::string mant = std::to_string(m);
  if (e >= 0) {
    for (int i = 0; i < e; i++) Double(mant);
    d.integer = mant == "0" ? "" : mant;
    return d;
  }
  // m / 2^-e: the integer part is m >> -e; the rest r / 2^-e is a fraction
  // whose decimal digits come from halving: 1/2^k = 5^k / 10^k.
  int k = -e;
  uint64_t ip = k >= 64 ? 0 : m >> k;
  uint64_t rest = k >= 64 ? m : m & ((uint64_t(1) << k) - 1);
  d.integer = ip ? std::to_string(ip) : "";
  // fraction = rest * 5^k / 10^k, as k digits.
  std::string num = std::to_string(rest);
  // multiply num by 5^k
  for (int i = 0; i < k; i++) {
    int carry = 0;
    for (size_t j = num.size(); j-- > 0;) {
      int v = (num[j] - '0') * 5 + carry;
      num[j] = char('0' + v % 10);
      carry = v / 10;
    }
    if (carry) num.insert(num.begin(), char('0' + carry));
  }
  if (num.size() < size_t(k)) num.insert(0, size_t(k) - num.size(), '0');
  d.fraction = num.substr(num.size() - k);
  while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.pop_back();
  return d;
}

std::string Reference(double v) {
  if (v == 0) return "0";
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  bool neg = bits >> 63;
  int E = int((bits >> 52) & 0x7FF);
  uint64_t Fr = bits & ((uint64_t(1) << 52) - 1);
  if (E == 2047) return std::string(neg ? "-" : "") + (Fr ? "#NAN" : "#INF");
  uint64_t m = E ? Fr | (uint64_t(1) << 52) : Fr;
  int e = E ? E - 1075 : -1074;
  Decimal d = Exact(m, e);
  std::string intDigits = d.integer, frac = d.fraction;
  if (frac.size() > 6) {
    std::string keep = frac.substr(0, 6), rest = frac.substr(6);
    // Compare the rest with one half: "5" followed by nothing is the tie.
    int cmp = rest[0] > '5' ? 1 : rest[0] < '5' ? -1 : (rest.size() > 1 ? 1 : 0);
    bool up = cmp > 0 || (cmp == 0 && ((keep[5] - '0') % 2 == 1));
    std::string all = intDigits + keep;
    if (up) {
      size_t i = all.size();
      while (i > 0) {
        i--;
        if (all[i] == '9') {
          all[i] = '0';
          if (i == 0) {
            all.insert(all.begin(), '1');
            break;
          }
        } else {
          all[i]++;
          break;
        }
      }
    }
    intDigits = all.substr(0, all.size() - 6);
    frac = all.substr(all.size() - 6);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
  }
  std::string out = neg ? "-" : "";
  out += intDigits.empty() ? "0" : intDigits;
  if (!frac.empty()) out += "." + frac;
  return out;
}

// The C library prints the exact value rounded half to even at six digits.
std::string Printf(double v) {
  if (v == 0) return "0";
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

TEST(FormatNumberTest, RandomDoublesMatchExactReferences) {
  std::mt19937_64 rng(42);
  EXPECT_EQ(Reference(0.0234375), "0.023438");
  EXPECT_EQ(Reference(-1e-7), "-0");
  for (int i = 0; i < 20000; i++) {
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
    std::string got = F(v);
    ASSERT_EQ(got, Reference(v)) << "bits of " << v;
    if (std::isfinite(v) && std::fabs(v) < 1e30) {
      ASSERT_EQ(got, Printf(v)) << v;
    }
  }
}

}  // namespace
