// Deviation statistics: moments, band membership at its edges, non-finite values and the
// precision of the one-pass computation.
#include "analysis/DeviationStats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

TEST(DeviationStats, MomentsOfASmallSet) {
  const std::vector<float> d{1, 2, 3, 4};
  const DeviationStats s = DeviationStats::compute(d.data(), d.size(), -10, 10);
  EXPECT_EQ(s.count, 4u);
  EXPECT_EQ(s.finite, 4u);
  EXPECT_EQ(s.min, 1.0);
  EXPECT_EQ(s.max, 4.0);
  EXPECT_DOUBLE_EQ(s.mean, 2.5);
  EXPECT_DOUBLE_EQ(s.stddev, std::sqrt(1.25)); // population: divides by 4
  EXPECT_EQ(s.inside, 1.0);
}

TEST(DeviationStats, BandEdgesCountAsInside) {
  const std::vector<float> d{-0.25f, 0.25f, -0.2500001f, 0.2500001f, 0.0f};
  const DeviationStats s = DeviationStats::compute(d.data(), d.size(), -0.25f, 0.25f);
  EXPECT_DOUBLE_EQ(s.inside, 3.0 / 5.0);
  // An asymmetric band.
  const DeviationStats a = DeviationStats::compute(d.data(), d.size(), 0.0, 0.3);
  EXPECT_DOUBLE_EQ(a.inside, 3.0 / 5.0);
  // The min and max are the float values, exactly.
  EXPECT_EQ(s.min, static_cast<double>(-0.2500001f));
  EXPECT_EQ(s.max, static_cast<double>(0.2500001f));
}

TEST(DeviationStats, NonFiniteValuesAreNotMeasurements) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> d{nan, 0.1f, inf, -0.3f, -inf};
  const DeviationStats s = DeviationStats::compute(d.data(), d.size(), -1, 1);
  EXPECT_EQ(s.count, 5u);
  EXPECT_EQ(s.finite, 2u);
  EXPECT_EQ(s.min, static_cast<double>(-0.3f));
  EXPECT_EQ(s.max, static_cast<double>(0.1f));
  EXPECT_NEAR(s.mean, -0.1, 1e-7);
  EXPECT_TRUE(std::isfinite(s.stddev));
  EXPECT_DOUBLE_EQ(s.inside, 2.0 / 5.0); // NaN and infinities are outside any band
  // First value NaN must not seed min and max.
  const std::vector<float> first{nan, 5.0f};
  EXPECT_EQ(DeviationStats::compute(first.data(), 2, 0, 1).min, 5.0);
}

TEST(DeviationStats, NoValues) {
  const DeviationStats s = DeviationStats::compute(nullptr, 0, -0.25, 0.25);
  EXPECT_FALSE(s.hasValues());
  EXPECT_EQ(s.inside, 0.0);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const DeviationStats only = DeviationStats::compute(&nan, 1, -0.25, 0.25);
  EXPECT_FALSE(only.hasValues());
  EXPECT_EQ(only.count, 1u);
}

TEST(DeviationStats, SpreadIsExactFarFromZero) {
  // A large offset with a small spread: sum-of-squares in one pass would lose the spread.
  std::vector<float> d;
  for (int i = 0; i < 1000000; ++i)
    d.push_back(i % 2 ? 10000.5f : 10000.25f);
  const DeviationStats s = DeviationStats::compute(d.data(), d.size(), 0, 20000);
  EXPECT_NEAR(s.mean, 10000.375, 1e-9);
  EXPECT_NEAR(s.stddev, 0.125, 1e-9);
}
