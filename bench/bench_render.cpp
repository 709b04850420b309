// Frames per second of the point cloud on llvmpipe through the headless EGL context at
// 900 x 600: a 1,000,000-triangle mesh replayed from its display list, and a
// 10,000,000-point cloud drawn point by point (one glBegin/glEnd per point) against the
// vertex and colour arrays (in buffer objects, and in client memory).
#include "scene/GLPointCloud.h"
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kW = 900, kH = 600;

OffscreenContext &ctx() {
  static OffscreenContext c;
  if (!c.isValid() && !c.create(kW, kH)) {
    std::fprintf(stderr, "no offscreen context: %s\n", c.error().c_str());
    std::exit(1);
  }
  c.makeCurrent();
  return c;
}

// A wavy surface of side x side vertices, 1 mm pitch, deviations across the band.
std::unique_ptr<SessionModel> grid(int sideX, int sideY, bool triangles) {
  auto m = std::make_unique<SessionModel>();
  const std::size_t n = std::size_t(sideX) * std::size_t(sideY);
  m->pointCount = std::int32_t(n);
  m->points.allocate(n);
  m->normals.allocate(n);
  m->deviations.allocate(n);
  for (int j = 0; j < sideY; ++j)
    for (int i = 0; i < sideX; ++i) {
      const std::size_t k = std::size_t(j) * sideX + i;
      const float x = float(i) / float(sideX) * 80.f - 40.f;
      const float y = float(j) / float(sideY) * 60.f - 30.f;
      m->points[k] = {x, y, 2.f * std::sin(x * 0.2f) * std::cos(y * 0.15f)};
      m->normals[k] = {0, 0, 1};
      m->deviations[k] = 0.35f * std::sin(x * 0.3f + y * 0.2f);
    }
  m->deviationMode = 3;
  if (triangles) {
    const std::size_t t = 2 * std::size_t(sideX - 1) * std::size_t(sideY - 1);
    m->triangleCount = std::int32_t(t);
    m->triangles.allocate(t);
    std::size_t q = 0;
    for (int j = 0; j + 1 < sideY; ++j)
      for (int i = 0; i + 1 < sideX; ++i) {
        const std::int32_t a = j * sideX + i;
        m->triangles[q++] = {a, a + 1, a + sideX, 0};
        m->triangles[q++] = {a + 1, a + sideX + 1, a + sideX, 0};
      }
  }
  return m;
}

// The view's camera and lighting: perspective 45 degrees, colour material, light 0.
void frameSetup(double distance) {
  glViewport(0, 0, kW, kH);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, double(kW) / kH, 1, 1e6);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslated(0, 0, -distance);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
}

struct Scene {
  ViewState view;
  std::unique_ptr<GLPointCloud> cloud;
};

Scene &meshScene() {
  static Scene s;
  if (!s.cloud) {
    s.cloud = std::make_unique<GLPointCloud>(&s.view, grid(1001, 501, true)); // 1,000,000
    s.cloud->upperTolerance = 0.25;
    s.cloud->lowerTolerance = -0.25;
    s.cloud->displayMode = 4;
    s.view.distance = 100;
  }
  return s;
}

Scene &pointScene() {
  static Scene s;
  if (!s.cloud) {
    s.cloud = std::make_unique<GLPointCloud>(&s.view, grid(4000, 2500, false)); // 10,000,000
    s.cloud->upperTolerance = 0.25;
    s.cloud->lowerTolerance = -0.25;
    s.cloud->displayMode = 1;
    s.cloud->width = 1;
    // Pixel size 100 / 1081.7: 10 x that is below 1, so every point is drawn.
    s.view.distance = 100;
  }
  return s;
}

void drawFrames(benchmark::State &state, Scene &s) {
  ctx();
  frameSetup(s.view.distance);
  s.cloud->draw(&s.view, 0); // compiles the mesh / fills the arrays once
  glFinish();
  for (auto _ : state) {
    frameSetup(s.view.distance);
    s.cloud->draw(&s.view, 0);
    glFinish();
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["stride"] = s.cloud->lastStride();
}

void BM_MeshCompileAndShow(benchmark::State &state) {
  Scene &s = meshScene();
  ctx();
  for (auto _ : state) {
    s.cloud->invalidate();
    frameSetup(s.view.distance);
    s.cloud->draw(&s.view, 0);
    glFinish();
  }
}

void BM_MeshReplay(benchmark::State &state) { drawFrames(state, meshScene()); }

void BM_Points10M_Immediate(benchmark::State &state) {
  Scene &s = pointScene();
  s.cloud->pointPath = GLPointCloud::PointPath::Immediate;
  drawFrames(state, s);
}

void BM_Points10M_Arrays(benchmark::State &state) {
  Scene &s = pointScene();
  s.cloud->pointPath = GLPointCloud::PointPath::Arrays;
  drawFrames(state, s);
}

void BM_Points10M_ClientArrays(benchmark::State &state) {
  Scene &s = pointScene();
  s.cloud->pointPath = GLPointCloud::PointPath::ClientArrays;
  drawFrames(state, s);
}

// While the user drags, large models are drawn with every tenth point.
void BM_Points10M_Dragging(benchmark::State &state) {
  Scene &s = pointScene();
  s.cloud->pointPath =
      state.range(0) ? GLPointCloud::PointPath::Arrays : GLPointCloud::PointPath::Immediate;
  s.view.interacting = true;
  drawFrames(state, s);
  s.view.interacting = false;
}

// A setting change per frame: the arrays are rebuilt every time (the worst case).
void BM_Points10M_ArraysRebuiltEachFrame(benchmark::State &state) {
  Scene &s = pointScene();
  s.cloud->pointPath = GLPointCloud::PointPath::Arrays;
  ctx();
  int bands = 15;
  for (auto _ : state) {
    s.cloud->bandCount = (bands = bands == 15 ? 16 : 15);
    frameSetup(s.view.distance);
    s.cloud->draw(&s.view, 0);
    glFinish();
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_MeshCompileAndShow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_MeshReplay)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_Points10M_Immediate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Points10M_Arrays)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_Points10M_ClientArrays)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_Points10M_Dragging)
    ->ArgName("arrays")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_Points10M_ArraysRebuiltEachFrame)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

BENCHMARK_MAIN();
