#include "analysis/BackgroundPointIndex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

// Compares the index with the scan on every query: same index, same distance bits.
void expectSameAsScan(const std::vector<Vec3f> &pts, const std::vector<Vec3d> &queries) {
  const NearestPointIndex index(pts.data(), pts.size());
  for (const Vec3d &q : queries) {
    double dScan = -1, dIndex = -2;
    const int scan = nearestPointLinear(pts.data(), pts.size(), q, &dScan);
    const int fast = index.nearest(q, &dIndex);
    ASSERT_EQ(fast, scan) << "query " << q.x << ", " << q.y << ", " << q.z;
    if (scan >= 0) {
      ASSERT_EQ(dIndex, dScan);
    }
  }
}

std::vector<Vec3d> randomQueries(std::mt19937 &rng, int n, double lo, double hi) {
  std::uniform_real_distribution<double> u(lo, hi);
  std::vector<Vec3d> q;
  for (int i = 0; i < n; ++i)
    q.push_back({u(rng), u(rng), u(rng)});
  return q;
}

} // namespace

TEST(NearestPointLinear, FirstOfEqualDistancesWinsAndDistanceIsL1InDouble) {
  const std::vector<Vec3f> pts = {{2, 0, 0}, {0, 1, 1}, {1, 1, 0}, {0, 0, 2}};
  double d = 0;
  // (2,0,0), (0,1,1), (1,1,0)... all at L1 distance 2 from the origin; index 0 comes first.
  EXPECT_EQ(nearestPointLinear(pts.data(), pts.size(), {0, 0, 0}, &d), 0);
  EXPECT_EQ(d, 2.0);
  EXPECT_EQ(nearestPointLinear(pts.data(), pts.size(), {0.5, 1, 0.5}, &d), 1);
  EXPECT_EQ(d, 1.0);
  // The float point is widened, not the query narrowed: 0.1f is not 0.1.
  const Vec3f p{0.1f, 0, 0};
  EXPECT_EQ(l1Distance(p, {0.1, 0, 0}), std::fabs(static_cast<double>(0.1f) - 0.1));
  EXPECT_GT(l1Distance(p, {0.1, 0, 0}), 0.0);
}

TEST(NearestPointLinear, EmptyAndNanPoints) {
  double d = 0;
  EXPECT_EQ(nearestPointLinear(nullptr, 0, {0, 0, 0}, &d), -1);
  EXPECT_TRUE(std::isnan(d));
  const NearestPointIndex empty(nullptr, 0);
  EXPECT_EQ(empty.nearest({1, 2, 3}, &d), -1);
  const NearestPointIndex defaulted;
  EXPECT_EQ(defaulted.nearest({1, 2, 3}), -1);

  // A NaN point must not capture every query just because it comes first.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<Vec3f> pts = {{nan, 0, 0}, {5, 5, 5}, {1, 1, 1}};
  EXPECT_EQ(nearestPointLinear(pts.data(), pts.size(), {0, 0, 0}), 2);
  const NearestPointIndex index(pts.data(), pts.size());
  EXPECT_EQ(index.nearest({0, 0, 0}), 2);
  EXPECT_EQ(index.nearest({9, 9, 9}), 1);
}

TEST(NearestPointIndex, MatchesScanOnRandomClouds) {
  std::mt19937 rng(12345);
  for (int n : {1, 2, 15, 16, 17, 100, 5000, 40000}) {
    std::uniform_real_distribution<float> u(-50.0f, 50.0f);
    std::vector<Vec3f> pts(static_cast<std::size_t>(n));
    for (Vec3f &p : pts)
      p = {u(rng), u(rng), u(rng)};
    expectSameAsScan(pts, randomQueries(rng, 300, -60, 60));
    // Queries sitting exactly on points (distance 0) and just beside them.
    std::vector<Vec3d> on;
    for (int i = 0; i < std::min(n, 200); ++i) {
      const Vec3f &p = pts[static_cast<std::size_t>(i * 7 % n)];
      on.push_back({p.x, p.y, p.z});
      on.push_back({p.x + 1e-9, p.y - 1e-9, p.z});
    }
    expectSameAsScan(pts, on);
  }
}

TEST(NearestPointIndex, DuplicatesAndAllEqualPointsGiveTheLowestIndex) {
  std::mt19937 rng(7);
  std::vector<Vec3f> pts;
  // Every point appears four times, spread over the array, so ties are everywhere.
  std::uniform_int_distribution<int> c(-5, 5);
  std::vector<Vec3f> base;
  for (int i = 0; i < 500; ++i)
    base.push_back({float(c(rng)), float(c(rng)), float(c(rng))});
  for (int r = 0; r < 4; ++r)
    pts.insert(pts.end(), base.begin(), base.end());
  expectSameAsScan(pts, randomQueries(rng, 400, -7, 7));

  // Large enough for sampled splits: most points share a few coordinate values, so a split
  // value leaves one side nearly empty unless handled.
  std::vector<Vec3f> heavy;
  std::uniform_int_distribution<int> rare(0, 9);
  for (int i = 0; i < 30000; ++i)
    heavy.push_back({rare(rng) == 0 ? float(c(rng)) : 1.0f, float(i % 3), rare(rng) ? 0.0f : 2.0f});
  expectSameAsScan(heavy, randomQueries(rng, 300, -7, 7));

  const std::vector<Vec3f> same(10000, Vec3f{3, -2, 1});
  const NearestPointIndex index(same.data(), same.size());
  double d = 0;
  EXPECT_EQ(index.nearest({100, 100, 100}, &d), 0);
  EXPECT_EQ(d, 97.0 + 102.0 + 99.0);
  EXPECT_EQ(index.nearest({3, -2, 1}, &d), 0);
  EXPECT_EQ(d, 0.0);
}

TEST(NearestPointIndex, GridsWithEquidistantQueries) {
  // On an integer grid, half-integer queries are equally far from up to eight points: the
  // tie must go to the lowest index wherever the tree stored them.
  std::vector<Vec3f> pts;
  for (int z = 0; z < 12; ++z)
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x)
        pts.push_back({float(x), float(y), float(z)});
  std::vector<Vec3d> q;
  for (double z = -0.5; z < 12.5; z += 0.5)
    for (double y = -0.5; y < 12.5; y += 1.5)
      for (double x = -0.5; x < 12.5; x += 0.5)
        q.push_back({x, y, z});
  expectSameAsScan(pts, q);
  // The same grid stored in reverse order, so that the lowest index is the last-built.
  std::vector<Vec3f> rev(pts.rbegin(), pts.rend());
  expectSameAsScan(rev, q);
}

TEST(NearestPointIndex, CollinearCoplanarAndFarQueries) {
  std::mt19937 rng(99);
  std::vector<Vec3f> line, plane;
  for (int i = 0; i < 3000; ++i)
    line.push_back({float(i) * 0.01f, 1.0f, -2.0f});
  std::uniform_real_distribution<float> u(0, 10);
  for (int i = 0; i < 3000; ++i)
    plane.push_back({u(rng), 0.0f, u(rng)});
  for (const auto *pts : {&line, &plane}) {
    expectSameAsScan(*pts, randomQueries(rng, 200, -5, 35));
    // Far away and the failed-unprojection value: large distances still compare exactly.
    expectSameAsScan(
        *pts, {{-1000, -1000, -1000}, {1e7, -3e6, 2e5}, {1e30, 1e30, -1e30}, {3e38, 5, -3e38}});
  }
}

TEST(NearestPointIndex, TinyDifferencesAtLargeCoordinates) {
  // Neighbouring floats near 1e6 differ by 1/16; queries between them exercise the rounding of
  // the distance sum, where a careless bound would prune the true winner.
  std::vector<Vec3f> pts;
  float x = 1e6f;
  for (int i = 0; i < 2000; ++i) {
    pts.push_back({x, 1e6f, -1e6f});
    x = std::nextafter(x, 2e6f);
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(1e6, 1e6 + 2000.0 / 16);
  std::vector<Vec3d> q;
  for (int i = 0; i < 500; ++i)
    q.push_back({u(rng), 1e6 + 1e-7, -1e6 - 3e-8});
  expectSameAsScan(pts, q);
}

TEST(NearestPointIndex, InfiniteCoordinatesAndNonFiniteQueries) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<Vec3f> pts = {{inf, 0, 0}, {1, 2, 3}, {-inf, 1, 1}, {4, 4, 4}};
  std::vector<Vec3d> q = {{0, 0, 0},
                          {1e308, 1e308, 1e308}, // finite query, infinite distances everywhere
                          {std::numeric_limits<double>::infinity(), 0, 0},
                          {std::numeric_limits<double>::quiet_NaN(), 0, 0}};
  expectSameAsScan(pts, q);
  const std::vector<Vec3f> onlyInf = {{inf, inf, inf}, {-inf, 0, 0}};
  expectSameAsScan(onlyInf, q);
}

TEST(BackgroundPointIndex, BuildsOnAWorkerAndAnswersLikeTheScan) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> u(-100.0f, 100.0f);
  std::vector<Vec3f> pts(300000);
  for (Vec3f &p : pts)
    p = {u(rng), u(rng), u(rng) * 0.01f};
  BackgroundPointIndex lookup(pts.data(), pts.size());
  const NearestPointIndex &index = lookup.wait();
  ASSERT_EQ(lookup.ready(), &index);
  EXPECT_NE(lookup.builtOn(), std::this_thread::get_id());
  EXPECT_EQ(lookup.progress(), 1.0);
  for (const Vec3d &q : randomQueries(rng, 200, -110, 110))
    ASSERT_EQ(index.nearest(q), nearestPointLinear(pts.data(), pts.size(), q));

  const BackgroundPointIndex inlineBuilt(pts.data(), 1000, false);
  ASSERT_NE(inlineBuilt.ready(), nullptr);
  EXPECT_EQ(inlineBuilt.builtOn(), std::this_thread::get_id());
}

TEST(BackgroundPointIndex, DestroyedWhileBuildingStopsTheWorker) {
  // The points go right after the index: the worker must be done with them by then (ASan
  // checks this in the sanitizer build).
  for (int when = 0; when < 3; ++when) {
    auto pts = std::make_unique<std::vector<Vec3f>>(2000000);
    for (std::size_t i = 0; i < pts->size(); ++i)
      (*pts)[i] = {float(i % 1414), float(i / 1414), float(i % 7)};
    auto lookup = std::make_unique<BackgroundPointIndex>(pts->data(), pts->size());
    if (when == 1)
      while (!lookup->ready() && lookup->progress() == 0.0)
        std::this_thread::yield();
    if (when == 2)
      lookup->wait();
    lookup.reset();
    pts.reset();
  }
}
