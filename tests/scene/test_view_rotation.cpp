// The shared rotation: matrix product over row-major arrays, increments from the pending
// motion, and folding only in rotate mode.
#include "scene/ViewRotation.h"
#include "scene/ViewState.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {
using M = ViewRotation::Matrix;

M sequence(double start) {
  M m{};
  for (int i = 0; i < 16; ++i)
    m[i] = start + i;
  return m;
}
} // namespace

TEST(ViewRotation, MultiplyTakesTheArraysRowMajor) {
  const M a = sequence(1), b = sequence(-3);
  const M r = ViewRotation::multiply(a, b);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k)
        s += a[i * 4 + k] * b[k * 4 + j];
      EXPECT_DOUBLE_EQ(r[i * 4 + j], s) << i << "," << j;
    }
  // Element (0, 1) spelled out: 1*-2 + 2*2 + 3*6 + 4*10.
  EXPECT_DOUBLE_EQ(r[1], -2 + 4 + 18 + 40);
  EXPECT_EQ(ViewRotation::multiply(ViewRotation::identity(), a), a);
}

TEST(ViewRotation, StartsAtIdentityWithZeroIncrements) {
  ViewRotation r;
  EXPECT_EQ(r.accumulated, ViewRotation::identity());
  EXPECT_EQ(r.incrementX, M{});
  EXPECT_EQ(r.incrementY, M{});
}

TEST(ViewRotation, IncrementsAreFilledFromThePendingMotionOverMinusFifty) {
  ViewRotation r;
  ViewState v;
  v.mouseMode = MouseMode::Idle;
  v.pendingRotationX = 25; // -0.5 rad
  r.advance(v);
  const double c = std::cos(-0.5), s = std::sin(-0.5);
  EXPECT_EQ(r.incrementX, (M{1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1}));
  EXPECT_EQ(r.incrementY, M{}) << "a zero angle leaves its matrix alone";
  // Not rotating: nothing is folded and the pending motion stays.
  EXPECT_EQ(r.accumulated, ViewRotation::identity());
  EXPECT_EQ(v.pendingRotationX, 25);
}

TEST(ViewRotation, RotateModeFoldsXThenYAndClearsThePending) {
  ViewRotation r;
  ViewState v;
  v.mouseMode = MouseMode::Rotate;
  v.pendingRotationX = 10;
  v.pendingRotationY = -20;
  r.advance(v);
  const double ax = 10 / -50.0, ay = -20 / -50.0;
  const M x{1, 0, 0, 0, 0, std::cos(ax), std::sin(ax), 0, 0, -std::sin(ax), std::cos(ax),
            0, 0, 0, 0, 1};
  const M y{std::cos(ay), 0, -std::sin(ay), 0, 0, 1, 0, 0,
            std::sin(ay), 0, std::cos(ay),  0, 0, 0, 0, 1};
  const M expected = ViewRotation::multiply(ViewRotation::multiply(ViewRotation::identity(), x), y);
  for (int i = 0; i < 16; ++i)
    EXPECT_NEAR(r.accumulated[i], expected[i], 1e-15) << i;
  EXPECT_EQ(v.pendingRotationX, 0);
  EXPECT_EQ(v.pendingRotationY, 0);
  // The order matters: y then x gives a different matrix.
  const M other = ViewRotation::multiply(y, x);
  double diff = 0;
  for (int i = 0; i < 16; ++i)
    diff += std::abs(other[i] - r.accumulated[i]);
  EXPECT_GT(diff, 1e-3);
  // Folding keeps the matrix a rotation: rows stay unit length.
  for (int row = 0; row < 3; ++row) {
    double len = 0;
    for (int k = 0; k < 3; ++k)
      len += r.accumulated[row * 4 + k] * r.accumulated[row * 4 + k];
    EXPECT_NEAR(len, 1.0, 1e-12);
  }
}

TEST(ViewRotation, ResetRestoresTheStart) {
  ViewRotation r;
  ViewState v;
  v.mouseMode = MouseMode::Rotate;
  v.pendingRotationY = 7;
  r.advance(v);
  r.reset();
  EXPECT_EQ(r.accumulated, ViewRotation::identity());
  EXPECT_EQ(r.incrementY, M{});
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
