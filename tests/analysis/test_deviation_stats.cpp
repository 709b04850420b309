// Deviation statistics: moments, band membership at its edges, non-finite values, the
// precision of the spread, percentiles against a full sort and the per-band histogram
// against the colour of each value.
#include "analysis/DeviationStats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
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

TEST(DeviationStats, BandEdgesCountAsTheirColoursShow) {
  const std::vector<float> d{-0.25f, 0.25f, -0.2500001f, 0.2500001f, 0.0f};
  // The bands colour the lower limit as below the band, the upper one as its top band.
  const DeviationStats s = DeviationStats::compute(d.data(), d.size(), -0.25f, 0.25f);
  EXPECT_EQ(s.countInside, 2u);
  EXPECT_EQ(s.countBelow, 2u);
  EXPECT_EQ(s.countAbove, 1u);
  // The gradient colours both limits inside.
  const ColourScale g(0.25f, -0.25f, 15, 0, true, false);
  const DeviationStats sg = DeviationStats::compute(d.data(), d.size(), -0.25f, 0.25f, &g);
  EXPECT_EQ(sg.countInside, 3u);
  EXPECT_EQ(sg.countBelow, 1u);
  // An asymmetric band.
  const DeviationStats a = DeviationStats::compute(d.data(), d.size(), 0.0, 0.3);
  EXPECT_DOUBLE_EQ(a.inside, 2.0 / 5.0);
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
  // NaN and infinities are no measurements: the fractions are of the two finite values.
  EXPECT_EQ(s.countInside, 2u);
  EXPECT_EQ(s.countAbove + s.countBelow, 0u);
  EXPECT_EQ(s.inside, 1.0);
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

namespace {

// The reference: sort everything, take the value at the smallest 1-based rank r with
// 100 r >= p n.
double byFullSort(std::vector<float> v, unsigned p) {
  std::sort(v.begin(), v.end());
  std::size_t r = 1;
  while (100 * r < p * v.size())
    ++r;
  return v[r - 1];
}

void expectPercentilesBySort(const std::vector<float> &d, const char *what) {
  const DeviationStats s = DeviationStats::compute(d.data(), d.size(), -0.25, 0.25);
  ASSERT_EQ(s.finite, d.size()) << what;
  EXPECT_EQ(s.p01, byFullSort(d, 1)) << what << " n " << d.size();
  EXPECT_EQ(s.p05, byFullSort(d, 5)) << what << " n " << d.size();
  EXPECT_EQ(s.median, byFullSort(d, 50)) << what << " n " << d.size();
  EXPECT_EQ(s.p95, byFullSort(d, 95)) << what << " n " << d.size();
  EXPECT_EQ(s.p99, byFullSort(d, 99)) << what << " n " << d.size();
  EXPECT_EQ(s.min, byFullSort(d, 0)) << what;
  EXPECT_EQ(s.countInside + s.countAbove + s.countBelow, d.size()) << what;
  double squares = 0;
  for (float v : d)
    squares += double(v) * v;
  EXPECT_NEAR(s.rms, std::sqrt(squares / double(d.size())), 1e-12) << what;
}

} // namespace

TEST(DeviationStats, PercentilesAreNearestRanksOfTheSortedValues) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coarse(-40, 40); // many ties
  std::normal_distribution<float> fine(0.0f, 0.2f);
  // 100, 200 and 20 make p n / 100 whole for every p: the rank is that product, not one more.
  for (std::size_t n : {1u, 2u, 3u, 19u, 20u, 99u, 100u, 101u, 200u, 1001u, 20000u}) {
    std::vector<float> ties, spread;
    for (std::size_t i = 0; i < n; ++i) {
      ties.push_back(float(coarse(rng)) / 100.0f);
      spread.push_back(fine(rng));
    }
    expectPercentilesBySort(ties, "ties");
    expectPercentilesBySort(spread, "spread");
  }
  EXPECT_EQ(DeviationStats::nearestRank(50, 100), 50u);
  EXPECT_EQ(DeviationStats::nearestRank(99, 100), 99u);
  EXPECT_EQ(DeviationStats::nearestRank(1, 1), 1u);
  EXPECT_EQ(DeviationStats::nearestRank(95, 20), 19u);
  EXPECT_EQ(DeviationStats::nearestRank(95, 21), 20u);

  // All equal, and all outside the band on one side or on both.
  const std::vector<float> same(37, 0.125f);
  const DeviationStats e = DeviationStats::compute(same.data(), same.size(), -0.25, 0.25);
  EXPECT_EQ(e.p01, 0.125);
  EXPECT_EQ(e.p99, 0.125);
  EXPECT_EQ(e.stddev, 0.0);
  EXPECT_EQ(e.rms, 0.125);
  const std::vector<float> out{0.3f, -0.4f, 0.5f, 0.3f};
  const DeviationStats o = DeviationStats::compute(out.data(), out.size(), -0.25, 0.25);
  EXPECT_EQ(o.countInside, 0u);
  EXPECT_EQ(o.countAbove, 3u);
  EXPECT_EQ(o.countBelow, 1u);
  EXPECT_EQ(o.above, 0.75);
  EXPECT_EQ(o.below, 0.25);
  EXPECT_EQ(o.median, double(0.3f));
}

namespace {

// Counts each value in the entry a plain scan picks (the first entry in table
// order holding it), and checks that colourFor paints the value with that entry's colour.
std::vector<std::size_t> countByScan(const ColourScale &scale, const std::vector<float> &d) {
  const std::vector<ColourBand> &e = scale.entries();
  std::vector<std::size_t> counts(e.size(), 0);
  for (float v : d) {
    if (!std::isfinite(v))
      continue; // no measurement
    std::size_t i = 0;
    if (scale.gradient()) {
      // Out of range by colour; inside, the first bar whose value range holds v.
      const Colour c = scale.colourFor(v);
      if (c == Colour{0.4, 0, 0.8})
        i = 0;
      else if (c == Colour{0.6, 0, 0.3})
        i = e.size() - 1;
      else
        for (i = 1; i + 1 < e.size() && !(e[i].lower <= v && v <= e[i].upper); ++i) {
        }
    } else {
      while (i < e.size() && !(e[i].lower <= v && v <= e[i].upper))
        ++i;
      if (i == e.size()) {
        // Past the outer limits: white, counted in the outer entry on its side.
        EXPECT_EQ(scale.colourFor(v), (Colour{1, 1, 1})) << v;
        ++counts[v > 0 ? e.size() - 1 : 0];
        continue;
      }
      EXPECT_EQ(scale.colourFor(v), e[i].colour) << v;
    }
    ++counts[i];
  }
  return counts;
}

} // namespace

TEST(DeviationStats, BandHistogramCountsEachValueWhereItsColourComesFrom) {
  std::mt19937 rng(11);
  std::normal_distribution<float> dist(0.0f, 0.3f);
  std::vector<float> d;
  for (int i = 0; i < 5000; ++i)
    d.push_back(dist(rng));
  // Every bound exactly and one float either side, the lower tolerance among them.
  const ColourScale probe(0.25f, -0.2f, 15, 0, false, false);
  for (const ColourBand &b : probe.bands())
    for (float v : {b.lower, b.upper})
      d.insert(d.end(), {v, std::nextafter(v, -1e9f), std::nextafter(v, 1e9f)});
  // With the two just past +-9999: no band holds them.
  d.insert(d.end(), {12000.0f, -12000.0f, std::numeric_limits<float>::infinity()});

  for (int layout : {0, 2})
    for (int bars : {3, 15, 1000})
      for (bool gradient : {false, true}) {
        if (gradient && layout != 0)
          continue;
        const ColourScale scale(0.25f, -0.2f, bars, layout, gradient, true);
        const DeviationStats s = DeviationStats::compute(d.data(), d.size(), -0.2, 0.25, &scale);
        const std::vector<std::size_t> expected = countByScan(scale, d);
        ASSERT_EQ(s.bands.size(), expected.size());
        std::size_t total = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
          EXPECT_EQ(s.bands[i].count, expected[i]) << "layout " << layout << " bars " << bars
                                                   << " gradient " << gradient << " entry " << i;
          EXPECT_EQ(s.bands[i].lower, scale.entries()[i].lower);
          total += s.bands[i].count;
        }
        // Every measurement is counted once; the outer entries are the below and above counts.
        EXPECT_EQ(total, s.finite);
        EXPECT_EQ(s.finite, d.size() - 1);
        EXPECT_EQ(s.beyond, gradient ? 0u : 4u);
        EXPECT_EQ(s.bands.front().count, s.countBelow);
        EXPECT_EQ(s.bands.back().count, s.countAbove);
        EXPECT_EQ(s.countInside + s.countAbove + s.countBelow, total);
        const std::vector<BandCount> alone = DeviationStats::countBands(d.data(), d.size(), scale);
        for (std::size_t i = 0; i < expected.size(); ++i)
          EXPECT_EQ(alone[i].fraction, s.bands[i].fraction);
      }
}
