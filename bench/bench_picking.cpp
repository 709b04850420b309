// Hover picking through the view's per-model index cache: a steady hover (the cache lookup
// plus the exact search), the first hover after a model is opened (index build included when
// the caller waits for it; without waiting, what the window pays), and closing a model while
// its index is being built.
#include "analysis/NearestPointIndex.h"
#include "session/SessionModel.h"
#include "view/Picking.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

namespace {

// A wavy sheet with 0.1 mm pitch and deviations, like a scanned surface.
SessionModel &model(std::size_t n) {
  static std::size_t made = 0;
  static SessionModel m;
  if (made != n) {
    m.pointCount = static_cast<std::int32_t>(n);
    m.points.allocate(n);
    m.deviations.allocate(n);
    const auto side = static_cast<std::size_t>(std::sqrt(static_cast<double>(n)));
    for (std::size_t i = 0; i < n; ++i) {
      const double x = double(i % side) * 0.1, y = double(i / side) * 0.1;
      m.points[i] = Vec3f{float(x), float(y), float(2.0 * std::sin(x * 0.05) * std::cos(y * 0.03))};
      m.deviations[i] = float(std::sin(x + y) * 0.3);
    }
    made = n;
  }
  return m;
}

std::vector<Vec3d> cursorPoints(const SessionModel &m, int count) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::size_t> pick(0, m.points.size() - 1);
  std::uniform_real_distribution<double> jitter(-0.04, 0.04);
  std::vector<Vec3d> q;
  for (int i = 0; i < count; ++i) {
    const Vec3f &p = m.points[pick(rng)];
    q.push_back({p.x + jitter(rng), p.y + jitter(rng), p.z + jitter(rng)});
  }
  return q;
}

void BM_HoverPickCached(benchmark::State &state) {
  SessionModel &m = model(static_cast<std::size_t>(state.range(0)));
  const auto q = cursorPoints(m, 1024);
  picking::hoverIndex(&m, q[0]); // builds the index once
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(picking::hoverIndex(&m, q[i++ & 1023]));
}
BENCHMARK(BM_HoverPickCached)->Arg(100000)->Arg(1000000);

void BM_HoverPickLinearScan(benchmark::State &state) {
  SessionModel &m = model(static_cast<std::size_t>(state.range(0)));
  const auto q = cursorPoints(m, 1024);
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(nearestPointLinear(m.points.data(), m.points.size(), q[i++ & 1023]));
}
BENCHMARK(BM_HoverPickLinearScan)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_FirstHoverAfterOpen(benchmark::State &state) {
  SessionModel &m = model(static_cast<std::size_t>(state.range(0)));
  const auto q = cursorPoints(m, 1);
  for (auto _ : state) {
    picking::forgetModel(&m);
    benchmark::DoNotOptimize(picking::hoverIndex(&m, q[0]));
  }
}
BENCHMARK(BM_FirstHoverAfterOpen)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// What the window's thread pays for the first hover after opening: the cursor's pixel shows
// the model, the index is not built yet. It starts the background build and answers from a
// scan (up to picking::kScanHoverLimit points) or not at all; it never waits for the build.
picking::FrameSample cursorOnModel(const SessionModel &m) {
  const Vec3f &p = m.points[m.points.size() / 2];
  picking::FrameSample s;
  s.modelView = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -p.x, -p.y, -p.z, 1};
  s.projection = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  s.viewport = {0, 0, 2, 2};
  s.cursorX = s.cursorY = 1.0;
  s.x0 = s.y0 = 0;
  s.width = s.height = 2;
  s.depth.assign(4, 0.5f);
  return s;
}

void BM_FirstWindowHover(benchmark::State &state) {
  SessionModel &m = model(static_cast<std::size_t>(state.range(0)));
  const picking::FrameSample s = cursorOnModel(m);
  for (auto _ : state) {
    state.PauseTiming();
    picking::forgetModel(&m);
    state.ResumeTiming();
    benchmark::DoNotOptimize(picking::hoverPick(&m, s));
  }
  picking::forgetModel(&m);
}
BENCHMARK(BM_FirstWindowHover)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Closing a window while its model is being indexed: the build stops, the worker is joined.
void BM_CloseWhileIndexing(benchmark::State &state) {
  SessionModel &m = model(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    picking::forgetModel(&m);
    picking::readyIndex(m);
    std::this_thread::sleep_for(std::chrono::milliseconds(state.range(1)));
    state.ResumeTiming();
    picking::forgetModel(&m);
  }
}
BENCHMARK(BM_CloseWhileIndexing)
    ->Args({10000000, 10})
    ->Args({10000000, 500})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// One hover over the background (or a click) near points: the 17 x 17 depth window around the
// cursor, every pixel drawn, each unprojected, its nearest point found and projected back.
// World x and y map to window pixels at 0.05 mm per pixel, two pixels per point pitch.
void BM_SnapWindow(benchmark::State &state) {
  SessionModel &m = model(static_cast<std::size_t>(state.range(0)));
  picking::FrameSample s;
  const double w = 632, h = 632, unit = 0.05; // window pixels, mm per pixel
  s.modelView = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  // glOrtho(0, w * unit, 0, h * unit, -10, 10), column-major.
  s.projection = {2 / (w * unit), 0, 0, 0, 0, 2 / (h * unit), 0, 0, 0, 0, -0.1, 0, -1, -1, 0, 1};
  s.viewport = {0, 0, int(w), int(h)};
  s.cursorX = 300.5;
  s.cursorY = 300.5;
  s.x0 = s.y0 = 300 - picking::kSnapPixels;
  s.width = s.height = 2 * picking::kSnapPixels + 1;
  s.depth.assign(std::size_t(s.width * s.height), 0.5f);
  picking::snapIndex(m, s); // builds the index once
  for (auto _ : state)
    benchmark::DoNotOptimize(picking::snapIndex(m, s));
}
BENCHMARK(BM_SnapWindow)->Arg(100000)->Arg(1000000);

} // namespace

BENCHMARK_MAIN();
