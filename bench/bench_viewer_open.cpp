// Opening a large session file in the real window (needs an X server: xvfb-run).
//
// Default: Google Benchmark of the time from the Open to the first frame and to the first
// frame that shows the whole model, on synthetic files.
//
// --scenario FILE [--points]: one run that reports, for FILE, the open to the first frame
// and to the full model, the longest the event loop went unanswered after the read, the
// full and decimated frame times while dragging, the frame after release, and peak memory.
// With --points it then switches the model to points and reports the same for the switch.
#include "app/Application.h"
#include "app/DocumentWindow.h"
#include "app/MainWindow.h"
#include "scene/GLPointCloud.h"
#include "view/ModelView.h"
#include "view/ViewScene.h"

#include <GL/gl.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
MainWindow *frame = nullptr;

// Synthetic session files are made once by the project's generator and kept in /tmp.
QString syntheticFile(long long points) {
  const QString path = QStringLiteral("/tmp/velmora-bench-%1.ses").arg(points);
  if (!QFileInfo::exists(path)) {
    const QString tool = QCoreApplication::applicationDirPath() + "/../tools/make-session";
    QProcess::execute(tool, {"--synthetic", "--points", QString::number(points), "--out", path});
  }
  return path;
}

// Peak and current resident memory of this process in MiB (VmHWM, VmRSS).
std::pair<double, double> residentMiB() {
  QFile f(QStringLiteral("/proc/self/status"));
  double hwm = 0, rss = 0;
  if (f.open(QIODevice::ReadOnly))
    for (const QByteArray &line : f.readAll().split('\n')) {
      const QList<QByteArray> w = line.simplified().split(' ');
      if (w.size() >= 2 && w[0] == "VmHWM:")
        hwm = w[1].toDouble() / 1024.0;
      if (w.size() >= 2 && w[0] == "VmRSS:")
        rss = w[1].toDouble() / 1024.0;
    }
  return {hwm, rss};
}

// Runs the event loop until done() or the timeout; returns false on timeout.
template <class F> bool spinUntil(F done, int timeoutMs = 600000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// Measures how long the event loop goes unanswered: a 5 ms timer's largest gap.
struct Heartbeat {
  QTimer timer;
  QElapsedTimer clock;
  qint64 last = 0, worst = 0;
  Heartbeat() {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      const qint64 now = clock.elapsed();
      worst = std::max(worst, now - last);
      last = now;
    });
  }
  void start() {
    clock.start();
    last = 0;
    worst = 0;
    timer.start();
  }
};

void BM_OpenToFrames(benchmark::State &state) {
  const QString path = syntheticFile(state.range(0));
  if (!QFileInfo::exists(path)) {
    state.SkipWithError("could not make the synthetic session file");
    return;
  }
  double firstFrame = 0, fullFrame = 0;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    if (!frame->openDocument(path, true)) {
      state.SkipWithError("open failed");
      return;
    }
    ModelView *v = frame->activeChild()->view();
    spinUntil([v] { return v->framesDrawn > 0; });
    firstFrame += double(timer.nsecsElapsed()) * 1e-6;
    spinUntil([v] { return v->fullFramesDrawn > 0; });
    state.SetIterationTime(double(timer.nsecsElapsed()) * 1e-9);
    fullFrame += double(timer.nsecsElapsed()) * 1e-6;
  }
  state.counters["first_frame_ms"] = firstFrame / double(state.iterations());
  state.counters["full_model_ms"] = fullFrame / double(state.iterations());
  state.counters["points"] = double(state.range(0));
}
BENCHMARK(BM_OpenToFrames)
    ->Arg(1000000)
    ->Arg(5000000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// Times one frame as the window draws it (update request, paint, compose) in ms.
double repaintMs(ModelView *v) {
  QElapsedTimer t;
  t.start();
  const int before = v->framesDrawn;
  v->update();
  spinUntil([v, before] { return v->framesDrawn > before; });
  v->makeCurrent();
  glFinish();
  v->doneCurrent();
  return double(t.nsecsElapsed()) * 1e-6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Drags for a few frames and releases; prints the frame times.
void dragAndRelease(ModelView *v, const char *what) {
  GLPointCloud *cloud = v->pointCloud();
  v->interacting = true;
  repaintMs(v); // starts the coarse mesh if full frames miss the budget
  QElapsedTimer build;
  build.start();
  cloud->waitForDecimatedMesh();
  const double buildMs = double(build.nsecsElapsed()) * 1e-6;
  std::vector<double> dragged;
  for (int i = 0; i < 7; ++i) {
    v->pendingRotationY += 3;
    dragged.push_back(repaintMs(v));
  }
  const int stride = cloud->lastStride();
  const bool decimated = cloud->lastDrawDecimated();
  v->interacting = false;
  const double release = repaintMs(v);
  std::printf("%s: full frame (measured by the view) %.0f ms; dragging: median %.0f ms per "
              "frame (%s, points stride %d, coarse mesh %zu triangles, wait for it %.0f ms); "
              "frame after release %.0f ms\n",
              what, v->lastFullFrameMs, median(dragged), decimated ? "decimated" : "full", stride,
              cloud->decimatedTriangles(), buildMs, release);
}

int runScenario(const QString &path, bool points) {
  const auto [hwm0, rss0] = residentMiB();
  Heartbeat beat;
  qint64 readDone = -1;
  QElapsedTimer clock;
  QObject::connect(frame, &MainWindow::statusTextShown, [&](const QString &text) {
    if (readDone < 0 && text == QStringLiteral("Ready"))
      readDone = clock.elapsed();
  });
  clock.start();
  if (!frame->openDocument(path, true)) {
    std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
    return 1;
  }
  const qint64 opened = clock.elapsed();
  beat.start();
  ModelView *v = frame->activeChild()->view();
  spinUntil([v] { return v->framesDrawn > 0; });
  const qint64 first = clock.elapsed();
  // When everything is uploaded (before the driver draws the first full frame, which adds
  // scratch memory of its own): resident memory, time, and the longest the event loop went
  // unanswered until then.
  double uploadedRss = 0;
  qint64 uploaded = -1, stall = -1;
  bool seenPending = false;
  if (!spinUntil([&] {
        const bool pending = v->pointCloud() && v->pointCloud()->uploadPending();
        seenPending = seenPending || pending;
        if (uploaded < 0 && seenPending && !pending) {
          uploadedRss = residentMiB().second;
          uploaded = clock.elapsed();
          stall = beat.worst;
        }
        return v->fullFramesDrawn > 0;
      }))
    return 1;
  const qint64 full = clock.elapsed();
  const auto [hwm1, rss1] = residentMiB();
  GLPointCloud *cloud = v->pointCloud();
  const SessionModel &m = *cloud->model();
  const double modelMiB =
      double(m.points.size() * 12 + m.normals.size() * 12 + m.nominalPoints.size() * 12 +
             m.triangleNormals.size() * 12 + m.deviations.size() * 4 + m.pointStatus.size() * 4 +
             m.triangles.size() * sizeof(Triangle) + m.triangleNormalIndices.size() * 4) /
      1048576.0;
  std::printf("file %s: %d points, %d triangles, model arrays %.1f MiB\n", qPrintable(path),
              m.pointCount, m.triangleCount, modelMiB);
  std::printf("open: model read and in the scene after %lld ms; openDocument returned after "
              "%lld ms; first frame (stand-in) %lld ms; uploads done %lld ms (longest unanswered "
              "event loop meanwhile %lld ms); full model %lld ms\n",
              readDone, opened, first, uploaded, stall, full);
  std::printf("memory: before open %.1f MiB resident; uploads done %.1f MiB resident; at the "
              "first full frame peak %.1f MiB, resident %.1f MiB; drawing arrays held %.1f MiB\n",
              rss0, uploadedRss, hwm1, rss1, double(cloud->drawingBytes()) / 1048576.0);
  (void)hwm0;
  dragAndRelease(v, "triangles");

  if (points) {
    beat.start();
    clock.restart();
    v->display.displayMode = DisplayMode::Points;
    v->display.pointSize = PointSize::S;
    v->makeCurrent();
    v->scene().applySettings(*v);
    v->doneCurrent();
    const qint64 applied = clock.elapsed();
    const int before = v->fullFramesDrawn;
    qint64 uploaded = -1, stall = -1;
    bool seenPending = false;
    spinUntil([&] {
      const bool pending = cloud->uploadPending();
      seenPending = seenPending || pending;
      if (uploaded < 0 && seenPending && !pending) {
        uploaded = clock.elapsed();
        stall = beat.worst;
      }
      return v->fullFramesDrawn > before;
    });
    const qint64 shown = clock.elapsed();
    const auto [hwm2, rss2] = residentMiB();
    std::printf("switch to points: apply returned after %lld ms; uploads done %lld ms (longest "
                "unanswered event loop meanwhile %lld ms); full points frame after %lld ms; peak "
                "%.1f MiB, resident %.1f MiB; drawing arrays held %.1f MiB\n",
                applied, uploaded, stall, shown, hwm2, rss2,
                double(cloud->drawingBytes()) / 1048576.0);
    dragAndRelease(v, "points");
  }
  return 0;
}
} // namespace

int main(int argc, char **argv) {
  Application::keepFreedMemory();
  Application::setDefaultSurfaceFormat();
  QApplication qapp(argc, argv);
  Application app;
  app.initInstance(QString());
  frame = app.mainFrame();
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--scenario") == 0) {
      bool points = false;
      for (int k = 1; k < argc; ++k)
        points = points || std::strcmp(argv[k], "--points") == 0;
      spinUntil([] { return false; }, 300); // let the main window settle
      return runScenario(QString::fromLocal8Bit(argv[i + 1]), points);
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
