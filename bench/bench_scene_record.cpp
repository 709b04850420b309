// What a window does with an annotation record of 1,000 callouts (700 banners, 300
// distances) and 100 comments on a 1,000,000-point model: applying it to the scene (the
// restore after the file was read and matched), capturing it back (every save and every
// unsaved-changes check) and building the callout list's rows.
#include "scene/GLPointCloud.h"
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"
#include "view/LoadStep.h"
#include "view/SceneRecord.h"
#include "view/ViewScene.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kSide = 1000; // 1,000,000 points

OffscreenContext &ctx() {
  static OffscreenContext c;
  if (!c.isValid() && !c.create(900, 600)) {
    std::fprintf(stderr, "no offscreen context: %s\n", c.error().c_str());
    std::exit(1);
  }
  c.makeCurrent();
  return c;
}

std::unique_ptr<SessionModel> grid() {
  auto m = std::make_unique<SessionModel>();
  const std::size_t n = std::size_t(kSide) * kSide;
  m->pointCount = std::int32_t(n);
  m->points.allocate(n);
  m->normals.allocate(n);
  m->deviations.allocate(n);
  for (std::size_t k = 0; k < n; ++k) {
    const float x = float(k % kSide) * 0.1f, y = float(k / kSide) * 0.1f;
    m->points[k] = {x, y, std::sin(x) * std::cos(y)};
    m->normals[k] = {0, 0, 1};
    m->deviations[k] = 0.35f * std::sin(x * 0.3f + y * 0.2f);
  }
  return m;
}

Annotations record() {
  Annotations a;
  const auto pick = [](int k) { return std::int32_t((std::int64_t(k) * 7919 * 104729) % 1000000); };
  for (int k = 0; k < 700; ++k)
    a.banners.push_back({pick(k), {1, 1, 0}, "banner " + std::to_string(k)});
  for (int k = 0; k < 300; ++k)
    a.distances.push_back({pick(k), pick(k + 1000), {0, 3.5, 0}, "distance " + std::to_string(k)});
  for (int k = 0; k < 100; ++k)
    a.comments.push_back({"comment " + std::to_string(k), 10.0 + k, 20.0 + k, 12, 0, false});
  return a;
}

struct Window {
  ViewState view;
  std::unique_ptr<ViewScene> scene;
  Window() {
    ctx();
    scene = std::make_unique<ViewScene>(view);
    runLoadStep(view, *scene, grid(), true);
  }
  void clearNodes() {
    scene->banners.clear();
    scene->distances.clear();
    scene->comments.clear();
  }
};

Window &window() {
  static Window w;
  return w;
}

void BM_ApplyRecord(benchmark::State &state) {
  Window &w = window();
  const Annotations a = record();
  for (auto _ : state) {
    applyAnnotations(a, w.view, *w.scene);
    state.PauseTiming();
    w.clearNodes();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ApplyRecord)->Unit(benchmark::kMillisecond);

void BM_CaptureRecord(benchmark::State &state) {
  Window &w = window();
  applyAnnotations(record(), w.view, *w.scene);
  for (auto _ : state)
    benchmark::DoNotOptimize(captureAnnotations(w.view, *w.scene));
  w.clearNodes();
}
BENCHMARK(BM_CaptureRecord)->Unit(benchmark::kMillisecond);

// The callout table a window lists: rows of the document's records against its tolerances.
void BM_CalloutRows(benchmark::State &state) {
  Window &w = window();
  const Annotations a = record();
  const SessionModel &model = *w.scene->shownModel();
  for (auto _ : state)
    benchmark::DoNotOptimize(calloutRows(model, a.banners, a.distances,
                                         w.view.display.lowerTolerance,
                                         w.view.display.upperTolerance));
}
BENCHMARK(BM_CalloutRows)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
