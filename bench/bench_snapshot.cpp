// Cost of the snapshot's conversion and write, and of one buffered paint of the image
// preview, at common window sizes.
#include "export/BitmapFile.h"
#include "preview/ImagePreview.h"
#include "preview/ImagePreviewDocument.h"
#include "view/SnapshotWriter.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {
QImage testFrame(int w, int h) {
  QImage frame(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    QRgb *row = reinterpret_cast<QRgb *>(frame.scanLine(y));
    for (int x = 0; x < w; ++x)
      row[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
  }
  return frame;
}

void BM_BitmapFromFrame(benchmark::State &state) {
  const QImage frame = testFrame(int(state.range(0)), int(state.range(1)));
  for (auto _ : state) {
    BitmapImage bmp = bitmapFromFrame(frame);
    benchmark::DoNotOptimize(bmp.pixels.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * state.range(1) * 4);
}
BENCHMARK(BM_BitmapFromFrame)
    ->Args({900, 600})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond);

// Conversion plus the complete write (temporary file, sync, rename).
void BM_WriteSnapshotFile(benchmark::State &state) {
  const QImage frame = testFrame(int(state.range(0)), int(state.range(1)));
  const std::string path = (QDir::tempPath() + "/velmora-bench-snapshot.bmp").toStdString();
  for (auto _ : state) {
    const ExportResult r = writeBitmapFile(path, bitmapFromFrame(frame));
    if (!r.ok)
      state.SkipWithError(r.message.c_str());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteSnapshotFile)
    ->Args({900, 600})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);

// One paint of a 1920 x 1080 snapshot in a preview of the given size, through the
// off-screen buffer, onto an image standing in for the window.
void BM_PreviewPaint(benchmark::State &state) {
  const QString path = QDir::tempPath() + "/velmora-bench-preview.bmp";
  testFrame(1920, 1080).save(path);
  ImagePreviewDocument doc;
  doc.openDocument(path);
  ImagePreview view(&doc);
  QImage target(int(state.range(0)), int(state.range(1)), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter painter(&target);
    view.drawDocument(painter, target.rect());
  }
  QFile::remove(path);
}
BENCHMARK(BM_PreviewPaint)->Args({900, 600})->Args({1600, 1000})->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char **argv) {
  if (!std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
