// Frame times of the point cloud on llvmpipe through the headless EGL context at 900 x 600:
// the mesh from buffer objects against the display list it replaces, the coarse mesh drawn
// while dragging, uploads, and a 10,000,000-point cloud drawn in full and thinned, with and
// without magnified deviation needles.
//
// --session=FILE takes the mesh from a session file (e.g. one made by
// `make-session --synthetic --points 5000000`) instead of the 1,000,000-triangle grid.
#include "scene/GLPointCloud.h"
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int kW = 900, kH = 600;
std::string sessionFile;

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
        m->triangles[q++] = {a, a + 1, a + sideX};
        m->triangles[q++] = {a + 1, a + sideX + 1, a + sideX};
      }
  }
  return m;
}

// The view's camera and lighting: perspective 45 degrees, colour material, light 0, the
// model centred.
void frameSetup(const ViewState &v, const Vec3d &centre) {
  glViewport(0, 0, kW, kH);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, double(kW) / kH, 1, 1e6);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslated(-centre.x, -centre.y, -v.distance);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
}

struct Scene {
  ViewState view;
  std::unique_ptr<GLPointCloud> cloud;
  Vec3d centre{0, 0, 0};

  void setUp(std::unique_ptr<SessionModel> m, int mode) {
    const BoundingBox &b = m->GetBoundingBox();
    centre = (b.min() + b.max()) * 0.5;
    view.boundsMin = b.min();
    view.boundsMax = b.max();
    view.zoomToFit();
    cloud = std::make_unique<GLPointCloud>(&view, std::move(m));
    cloud->display.upperTolerance = 0.25;
    cloud->display.lowerTolerance = -0.25;
    cloud->display.displayMode = static_cast<DisplayMode>(mode);
    cloud->width = mode == 1 ? 1 : 0;
  }
  // One frame, finished; its wall time in ms.
  double frame() {
    const auto t0 = std::chrono::steady_clock::now();
    frameSetup(view, centre);
    cloud->draw(&view, 0);
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  }
};

Scene &meshScene() {
  static Scene s;
  if (!s.cloud) {
    ctx();
    if (sessionFile.empty()) {
      s.setUp(grid(1001, 501, true), 4); // 1,000,000 triangles
    } else {
      auto m = std::make_unique<SessionModel>();
      bool isSession = false;
      std::string error;
      if (!readModelFile(sessionFile, *m, isSession, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
      }
      m->deviationMode = 3;
      s.setUp(std::move(m), 4);
      s.cloud->display.magnification = 1; // as a session file opens
    }
  }
  return s;
}

Scene &pointScene() {
  static Scene s;
  if (!s.cloud) {
    ctx();
    s.setUp(grid(4000, 2500, false), 1); // 10,000,000
    // Pixel size 100 / 1081.7: 10 x that is below 1, so every point is drawn.
    s.view.distance = 100;
  }
  return s;
}

void report(benchmark::State &state, Scene &s) {
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["stride"] = s.cloud->lastStride();
  state.counters["drawing_MiB"] = double(s.cloud->drawingBytes()) / 1048576.0;
}

// Frames with everything uploaded; interacting: while dragging, after a measured full frame.
void drawFrames(benchmark::State &state, Scene &s, bool interacting) {
  s.view.interacting = false;
  s.frame(); // uploads (or compiles)
  s.view.lastFullFrameMs = s.frame();
  if (interacting) {
    s.view.liveWindow = true; // a dragged window
    s.cloud->afterFullFrame(s.view);
    s.cloud->waitForDecimatedMesh();
    s.view.interacting = true;
    s.frame();
  }
  for (auto _ : state)
    s.frame();
  report(state, s);
  state.counters["full_ms"] = s.view.lastFullFrameMs;
  state.counters["coarse_triangles"] = double(s.cloud->decimatedTriangles());
  s.view.interacting = false;
  s.view.liveWindow = false;
}

// Everything built anew (the display list compiled, or every buffer uploaded), then drawn.
void BM_MeshUploadAndFirstFrame(benchmark::State &state) {
  Scene &s = meshScene();
  s.cloud->meshPath =
      state.range(0) ? GLPointCloud::MeshPath::Buffers : GLPointCloud::MeshPath::Arrays;
  for (auto _ : state) {
    s.cloud->transformModel(Placement{}); // a new generation of the model's arrays
    s.frame();
  }
  report(state, s);
}

void BM_MeshFrame(benchmark::State &state) {
  Scene &s = meshScene();
  s.cloud->meshPath =
      state.range(0) ? GLPointCloud::MeshPath::Buffers : GLPointCloud::MeshPath::Arrays;
  s.cloud->invalidate();
  drawFrames(state, s, false);
}

void BM_MeshDragging(benchmark::State &state) {
  Scene &s = meshScene();
  s.cloud->meshPath = GLPointCloud::MeshPath::Buffers;
  s.cloud->invalidate();
  drawFrames(state, s, true);
}

void BM_MeshColourChange(benchmark::State &state) {
  Scene &s = meshScene();
  s.cloud->meshPath = GLPointCloud::MeshPath::Buffers;
  for (auto _ : state) {
    s.cloud->display.colourBars = s.cloud->display.colourBars == 15 ? 16 : 15;
    s.cloud->invalidate();
    s.frame();
  }
  report(state, s);
}

void BM_Points10M(benchmark::State &state) {
  Scene &s = pointScene();
  s.cloud->pointPath = GLPointCloud::PointPath::Arrays;
  s.cloud->display.magnification = float(state.range(0));
  drawFrames(state, s, state.range(1) != 0);
}

void BM_Points10M_Immediate(benchmark::State &state) {
  Scene &s = pointScene();
  s.cloud->pointPath = GLPointCloud::PointPath::Immediate;
  s.cloud->display.magnification = 0;
  drawFrames(state, s, false);
  s.cloud->pointPath = GLPointCloud::PointPath::Arrays;
}

} // namespace

BENCHMARK(BM_MeshUploadAndFirstFrame)
    ->ArgName("buffers")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_MeshFrame)
    ->ArgName("buffers")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_MeshDragging)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_MeshColourChange)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Points10M)
    ->ArgNames({"magnification", "dragging"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4);
BENCHMARK(BM_Points10M_Immediate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--session=", 10) == 0) {
      sessionFile = argv[i] + 10;
      for (int k = i; k + 1 < argc; ++k)
        argv[k] = argv[k + 1];
      --argc;
      break;
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
