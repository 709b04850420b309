// Time from the Open of a large session file to its first frame in the window: reading,
// node creation, and the first draw that compiles the mesh. Needs an X server (xvfb-run).
#include "app/CKestrinApp.h"
#include "app/CMainFrame.h"
#include "view/view3d.h"

#include <GL/gl.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <benchmark/benchmark.h>

namespace {
CMainFrame *frame = nullptr;

// Synthetic session files are made once by the project's generator and kept in /tmp.
QString syntheticFile(long long points) {
  const QString path = QStringLiteral("/tmp/velmora-bench-%1.ses").arg(points);
  if (!QFileInfo::exists(path)) {
    const QString tool = QCoreApplication::applicationDirPath() + "/../tools/make-session";
    QProcess::execute(tool, {"--synthetic", "--points", QString::number(points), "--out", path});
  }
  return path;
}

void BM_OpenToFirstFrame(benchmark::State &state) {
  const QString path = syntheticFile(state.range(0));
  if (!QFileInfo::exists(path)) {
    state.SkipWithError("could not make the synthetic session file");
    return;
  }
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    if (!frame->openDocument(path, true)) {
      state.SkipWithError("open failed");
      return;
    }
    view3d *v = view3d::current();
    while (v->framesDrawn == 0)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    v->makeCurrent();
    glFinish();
    v->doneCurrent();
    state.SetIterationTime(double(timer.nsecsElapsed()) * 1e-9);
  }
  state.counters["points"] = double(state.range(0));
}
BENCHMARK(BM_OpenToFirstFrame)
    ->Arg(1000000)
    ->Arg(10000000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char **argv) {
  CKestrinApp::setDefaultSurfaceFormat();
  QApplication qapp(argc, argv);
  CKestrinApp app;
  app.initInstance(QString());
  frame = app.mainFrame();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
