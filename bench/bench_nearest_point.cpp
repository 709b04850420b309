// Nearest point under the cursor on a large model: the k-d tree against the linear scan, and
// the tree's build time.
#include "analysis/NearestPointIndex.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

// A scanned-looking surface: a wavy sheet of points with a little noise, 100 x 100 mm per
// million points.
const std::vector<Vec3f> &cloud(std::size_t n) {
  static std::size_t made = 0;
  static std::vector<Vec3f> pts;
  if (made != n) {
    pts.clear();
    pts.reserve(n);
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> noise(-0.005f, 0.005f);
    const auto side = static_cast<std::size_t>(std::sqrt(static_cast<double>(n)));
    const double pitch = 0.1;
    for (std::size_t i = 0; i < n; ++i) {
      const double x = static_cast<double>(i % side) * pitch,
                   y = static_cast<double>(i / side) * pitch;
      const double z = 2.0 * std::sin(x * 0.05) * std::cos(y * 0.03);
      pts.push_back({static_cast<float>(x) + noise(rng), static_cast<float>(y) + noise(rng),
                     static_cast<float>(z) + noise(rng)});
    }
    made = n;
  }
  return pts;
}

// Cursor points: on or near the surface, as an unprojected pixel is.
std::vector<Vec3d> queries(const std::vector<Vec3f> &pts, int count) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::size_t> pick(0, pts.size() - 1);
  std::uniform_real_distribution<double> off(-0.3, 0.3);
  std::vector<Vec3d> q;
  for (int i = 0; i < count; ++i) {
    const Vec3f &p = pts[pick(rng)];
    q.push_back({p.x + off(rng), p.y + off(rng), p.z + off(rng)});
  }
  return q;
}

// The index of the current cloud, built once per size.
const NearestPointIndex &indexOf(const std::vector<Vec3f> &pts) {
  static std::unique_ptr<NearestPointIndex> index;
  static std::size_t indexed = 0;
  if (indexed != pts.size()) {
    index = std::make_unique<NearestPointIndex>(pts.data(), pts.size());
    indexed = pts.size();
  }
  return *index;
}

void BM_IndexQuery(benchmark::State &state) {
  const auto &pts = cloud(static_cast<std::size_t>(state.range(0)));
  const NearestPointIndex *index = &indexOf(pts);
  const auto q = queries(pts, 1024);
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(index->nearest(q[i++ % q.size()]));
}

// A cursor over the background unprojects to the far plane, around 1e38 away: every point is
// then at the same rounded distance and the lowest index must win among all of them.
void BM_IndexQueryFar(benchmark::State &state) {
  const auto &pts = cloud(static_cast<std::size_t>(state.range(0)));
  const NearestPointIndex &index = indexOf(pts);
  for (auto _ : state)
    benchmark::DoNotOptimize(index.nearest({1e38, 3.0, -2e37}));
}

void BM_LinearScan(benchmark::State &state) {
  const auto &pts = cloud(static_cast<std::size_t>(state.range(0)));
  const auto q = queries(pts, 64);
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(nearestPointLinear(pts.data(), pts.size(), q[i++ % q.size()]));
}

void BM_IndexBuild(benchmark::State &state) {
  const auto &pts = cloud(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    NearestPointIndex index(pts.data(), pts.size());
    benchmark::DoNotOptimize(index.size());
    state.counters["index_MiB"] = double(index.bytes()) / 1048576.0;
  }
  state.counters["points_MiB"] = double(pts.size() * sizeof(Vec3f)) / 1048576.0;
}

} // namespace

BENCHMARK(BM_IndexQuery)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_IndexQueryFar)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_LinearScan)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_IndexBuild)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
