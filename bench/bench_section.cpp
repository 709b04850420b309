// Section curves through large synthetic meshes: the fast path (index built beforehand, as the
// view keeps one per model) against the quadratic reference on small meshes.
#include "analysis/SectionCutter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace {

// A wavy grid surface of about `triangles` triangles, 0.1 mm pitch, with deviations.
struct GridMesh {
  std::vector<Vec3f> pts;
  std::vector<Triangle> tris;
  std::vector<float> dev;
  std::unique_ptr<NearestPointIndex> index;

  explicit GridMesh(long triangles) {
    const auto side = static_cast<int>(std::sqrt(static_cast<double>(triangles) / 2.0)) + 1;
    const double pitch = 0.1;
    pts.reserve(static_cast<std::size_t>(side) * side);
    dev.reserve(pts.capacity());
    for (int j = 0; j < side; ++j)
      for (int i = 0; i < side; ++i) {
        const double x = i * pitch, y = j * pitch;
        const double z = 1.5 * std::sin(x * 0.11) * std::cos(y * 0.07) + 0.2 * std::sin(x * 0.9);
        pts.push_back({static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
        dev.push_back(static_cast<float>(0.3 * std::sin(x * 0.5 + y * 0.3)));
      }
    tris.reserve(2 * static_cast<std::size_t>(side - 1) * (side - 1));
    for (int j = 0; j + 1 < side; ++j)
      for (int i = 0; i + 1 < side; ++i) {
        const int a = j * side + i;
        tris.push_back({a, a + 1, a + side});
        tris.push_back({a + 1, a + side + 1, a + side});
      }
  }
  SectionMesh view() const {
    return {pts.data(), pts.size(), tris.data(), tris.size(), dev.data()};
  }
  double extent() const { return pts.back().x; }
};

GridMesh &mesh(long triangles) {
  static std::map<long, std::unique_ptr<GridMesh>> cache;
  auto &m = cache[triangles];
  if (!m) {
    cache.clear(); // one large mesh in memory at a time
    auto &fresh = cache[triangles];
    fresh = std::make_unique<GridMesh>(triangles);
    return *fresh;
  }
  return *m;
}

const ColourScale kScale(0.25f, -0.25f, 15, 0, false, false);

// Plane 0: X/Z through the middle (one long open curve across the sheet). Plane 1: X/Y at a
// height that cuts the waves into many separate closed contours, which the chain must join.
std::array<int, 3> normalOf(long plane) {
  return plane == 0 ? std::array{0, 1, 0} : std::array{0, 0, 1};
}
Vec3d pointOf(long plane, const GridMesh &m) {
  return plane == 0 ? Vec3d{0, m.extent() / 2 + 0.013, 0} : Vec3d{0, 0, 0.37};
}

void BM_SectionFast(benchmark::State &state) {
  GridMesh &m = mesh(state.range(0));
  if (!m.index)
    m.index = std::make_unique<NearestPointIndex>(m.pts.data(), m.pts.size());
  const SectionCutter cutter;
  std::size_t points = 0, segments = 0;
  for (auto _ : state) {
    const SectionResult r = cutter.cut(m.view(), normalOf(state.range(1)),
                                       pointOf(state.range(1), m), kScale, m.index.get());
    points = r.points.size();
    segments = r.segmentCount;
  }
  state.counters["triangles"] = static_cast<double>(m.tris.size());
  state.counters["segments"] = static_cast<double>(segments);
  state.counters["points"] = static_cast<double>(points);
}

void BM_SectionReference(benchmark::State &state) {
  GridMesh &m = mesh(state.range(0));
  const SectionCutter cutter;
  std::size_t points = 0, segments = 0;
  for (auto _ : state) {
    const SectionResult r =
        cutter.cutReference(m.view(), normalOf(state.range(1)), pointOf(state.range(1), m), kScale);
    points = r.points.size();
    segments = r.segmentCount;
  }
  state.counters["triangles"] = static_cast<double>(m.tris.size());
  state.counters["segments"] = static_cast<double>(segments);
  state.counters["points"] = static_cast<double>(points);
}

// The per-model index the fast path relies on, built once when the model is loaded.
void BM_ModelIndexBuild(benchmark::State &state) {
  GridMesh &m = mesh(state.range(0));
  for (auto _ : state) {
    NearestPointIndex index(m.pts.data(), m.pts.size());
    benchmark::DoNotOptimize(index.size());
  }
  state.counters["points"] = static_cast<double>(m.pts.size());
}

// The plane test over every triangle alone.
void BM_CutOnly(benchmark::State &state) {
  const GridMesh &m = mesh(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(SectionCutter().cutSegments(m.view(), {0, 0, 1}, {0, 0, 0.37}).size());
  state.counters["triangles"] = static_cast<double>(m.tris.size());
}

// Chaining alone on many segments: greedy nearest end point, tree against full scan.
std::vector<SectionSegment> contourSegments(long triangles) {
  const GridMesh &m = mesh(triangles);
  return SectionCutter().cutSegments(m.view(), {0, 0, 1}, {0, 0, 0.37});
}

void BM_ChainFast(benchmark::State &state) {
  const auto segs = contourSegments(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(chainSegments(segs).size());
  state.counters["segments"] = static_cast<double>(segs.size());
}

void BM_ChainReference(benchmark::State &state) {
  const auto segs = contourSegments(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(chainSegmentsReference(segs).size());
  state.counters["segments"] = static_cast<double>(segs.size());
}

} // namespace

BENCHMARK(BM_SectionReference)
    ->ArgsProduct({{20000, 200000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ChainReference)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ChainFast)
    ->Arg(200000)
    ->Arg(2000000)
    ->Arg(20000000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CutOnly)
    ->Arg(20000000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SectionFast)
    ->ArgsProduct({{200000, 2000000, 20000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ModelIndexBuild)
    ->Arg(2000000)
    ->Arg(20000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(2)
    ->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
