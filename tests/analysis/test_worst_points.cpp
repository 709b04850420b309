// Worst-point selection against a brute-force greedy on random clouds: ties in deviation and
// in position, spacings from 0 to larger than the cloud, counts beyond the candidates, and
// clouds where the first batches of candidates are almost all too close to each other.
#include "analysis/WorstPoints.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace {

// The definition, literally: order every outside point, keep each one that no kept point is
// closer to than the spacing.
std::vector<std::int32_t> bruteForce(const std::vector<Vec3f> &p, const std::vector<float> &d,
                                     const WorstPointsRequest &r) {
  std::vector<std::int32_t> order;
  for (std::size_t i = 0; i < p.size(); ++i)
    // Outside as the band colours show it: the lower limit itself is below.
    if (d[i] > static_cast<float>(r.upper) || d[i] <= static_cast<float>(r.lower))
      order.push_back(static_cast<std::int32_t>(i));
  std::stable_sort(order.begin(), order.end(),
                   [&](auto a, auto b) { return std::fabs(d[a]) > std::fabs(d[b]); });
  std::vector<std::int32_t> kept;
  for (const auto i : order) {
    if (kept.size() == static_cast<std::size_t>(std::max(r.count, 0)))
      break;
    bool free = true;
    for (const auto k : kept) {
      const double dx = double(p[i].x) - double(p[k].x), dy = double(p[i].y) - double(p[k].y),
                   dz = double(p[i].z) - double(p[k].z);
      free = free && !(std::sqrt(dx * dx + dy * dy + dz * dz) < r.spacing);
    }
    if (free)
      kept.push_back(i);
  }
  return kept;
}

struct Cloud {
  std::vector<Vec3f> points;
  std::vector<float> deviations;
};

// Coordinates on a coarse grid (so points coincide and distances tie with the spacing) and
// deviations rounded to 0.05 (so many tie); with a peak, |deviation| falls off with the
// distance from one corner, so the largest deviations crowd together.
Cloud randomCloud(std::size_t n, unsigned seed, bool peak) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> grid(0, 40);
  std::uniform_real_distribution<float> dev(-1, 1);
  Cloud c;
  for (std::size_t i = 0; i < n; ++i) {
    const Vec3f p(grid(rng) * 0.5f, grid(rng) * 0.5f, grid(rng) * 0.25f);
    c.points.push_back(p);
    float d = std::round(dev(rng) * 20) / 20;
    if (peak)
      d = std::round((3 - std::sqrt(p.x * p.x + p.y * p.y) / 10) * 100) / 100;
    c.deviations.push_back(d);
  }
  return c;
}

} // namespace

TEST(WorstPoints, AgreeWithTheGreedyDefinitionOnRandomClouds) {
  for (const std::size_t n : {0u, 1u, 7u, 300u, 5000u})
    for (const bool peak : {false, true})
      for (const double spacing : {0.0, 0.5, 2.0, 7.5, 1000.0})
        for (const int count : {1, 10, 100})
          for (unsigned seed = 1; seed <= 2; ++seed) {
            const Cloud c = randomCloud(n, seed * 31 + static_cast<unsigned>(n), peak);
            WorstPointsRequest r;
            r.count = count;
            r.spacing = spacing;
            r.lower = -0.25;
            r.upper = peak ? 1.0 : 0.3;
            EXPECT_EQ(worstPoints(c.points.data(), c.deviations.data(), n, r),
                      bruteForce(c.points, c.deviations, r))
                << "n " << n << " peak " << peak << " spacing " << spacing << " count " << count;
          }
}

TEST(WorstPoints, BandEdgesTiesAndValuesThatAreNotNumbers) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // Points 1 unit apart along x.
  std::vector<Vec3f> p;
  for (int i = 0; i < 8; ++i)
    p.emplace_back(float(i), 0.0f, 0.0f);
  const std::vector<float> d{0.25f, -0.25f, 0.5f, -0.5f, nan, 0.2500001f, -inf, 0.1f};
  WorstPointsRequest r;
  r.count = 100;
  r.spacing = 0;
  // As the colours judge: the upper limit is inside, the lower one below (the gradient holds
  // both); deviations that are not finite are never chosen; equal |deviation|: lower index
  // first.
  EXPECT_EQ(worstPoints(p.data(), d.data(), p.size(), r), (std::vector<std::int32_t>{2, 3, 5, 1}));
  r.gradient = true;
  EXPECT_EQ(worstPoints(p.data(), d.data(), p.size(), r), (std::vector<std::int32_t>{2, 3, 5}));
  r.gradient = false;
  // A tolerance typed as 0.1 holds the stored 0.1f, as the colours show it.
  r.upper = 0.1;
  r.lower = -0.1;
  EXPECT_EQ(worstPoints(p.data(), d.data(), p.size(), r).size(), 5u);
  // Exactly the spacing away is not closer: kept.
  r.upper = 0.25;
  r.lower = -0.25;
  r.spacing = 1.0;
  EXPECT_EQ(worstPoints(p.data(), d.data(), p.size(), r), (std::vector<std::int32_t>{2, 3, 5, 1}));
  // A point without finite coordinates is closer to nothing: chosen, and blocking nothing.
  std::vector<Vec3f> q = p;
  std::vector<float> e = d;
  q[7].x = nan;
  e[7] = 5;
  EXPECT_EQ(worstPoints(q.data(), e.data(), q.size(), r),
            (std::vector<std::int32_t>{7, 2, 3, 5, 1}));
  r.spacing = std::nextafter(1.0, 2.0);
  EXPECT_EQ(worstPoints(p.data(), d.data(), p.size(), r), (std::vector<std::int32_t>{2, 5}));
  r.count = 0;
  EXPECT_TRUE(worstPoints(p.data(), d.data(), p.size(), r).empty());
}
