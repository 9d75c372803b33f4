// The inline math of the inner loops must give the foundation's results bit
// for bit, or the world would drift from the one the design describes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "physics/fastmath.h"

namespace {

template <class T>
bool Same(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

TEST(FastMath, BitIdenticalToTheFoundation) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> big(-1e3, 1e3), small(-1e-3, 1e-3);
  auto vec = [&](bool tiny) { return tiny ? Vec3{small(rng), small(rng), small(rng)} : Vec3{big(rng), big(rng), big(rng)}; };
  for (int k = 0; k < 20000; k++) {
    bool tiny = k % 3 == 0;
    Vec3 v = vec(tiny);
    if (k % 101 == 0) v = {0, 0, 0};
    Mat3 a, b;
    for (double& x : a.m) x = tiny ? small(rng) : big(rng);
    for (double& x : b.m) x = big(rng);
    ASSERT_TRUE(Same(fast::Mul(v, a), VecMulMat3(v, a))) << k;
    ASSERT_TRUE(Same(fast::MulTransposed(v, a), VecMulMat3(v, Mat3Transpose(a)))) << k;
    ASSERT_TRUE(Same(fast::Length(v), Length(v))) << k;
    ASSERT_TRUE(Same(fast::Normalize(v), Normalize(v))) << k;
    double x = v.x, lo = v.y, hi = v.z;
    ASSERT_TRUE(Same(fast::Clamp(x, lo, hi), Clamp(x, lo, hi))) << k;
    ASSERT_TRUE(Same(fast::SignAbove(x), SignAbove(x))) << k;
    ASSERT_TRUE(Same(fast::InverseOfSum(a, b), Mat3Inverse(Mat3Add(a, b)))) << k;
  }
  for (double x : {0.0, -0.0, 1.1920928955078125e-07, 1.2e-07, 1e-300, -1.0})
    EXPECT_EQ(fast::SignAbove(x), SignAbove(x)) << x;
}

}  // namespace
