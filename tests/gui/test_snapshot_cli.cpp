// The headless drawing commands, run as the built program: --snapshot shows the frame a
// freshly opened window shows, display options take effect; --report and --export OUT.pdf
// carry that frame into PDF pages; errors are one line and leave no file behind.
#include "gui/TestFiles.h"
#include "test_snapshot_fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct ProcessRun {
  int exitCode = -1;
  QByteArray out, err;
};

ProcessRun runViewer(const QStringList &args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LIBGL_ALWAYS_SOFTWARE", "1");
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora-viewer"), args);
  ProcessRun r;
  if (!p.waitForFinished(120000))
    return r;
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

class SnapshotCli : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(QFileInfo(VELMORA_BINARY_DIR "/src/app/velmora-viewer").isExecutable())
        << "build the velmora-viewer target first";
    session = dir.filePath("square.ses");
    writeSquareSession(session.toStdString());
  }
  QTemporaryDir dir;
  QString session;
};
} // namespace

TEST_F(SnapshotCli, WritesTheOpeningFrameAtTheChosenSize) {
  const QString out = dir.filePath("out.bmp");
  const ProcessRun r = runViewer({"--snapshot", out, "--size", "320x200", session});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

  const QByteArray bytes = readAllBytes(out);
  ASSERT_EQ(bytes.size(), 54 + 320 * 200 * 4);
  EXPECT_EQ(le32(bytes, 10), 54u);
  EXPECT_EQ(std::uint8_t(bytes[28]), 32);
  const QImage shot(out);
  ASSERT_EQ(shot.size(), QSize(320, 200));
  // Background gradient: grey at the bottom, blue at the top.
  EXPECT_TRUE(near(shot.pixel(0, 199), qRgb(230, 230, 230), 2));
  EXPECT_TRUE(near(shot.pixel(0, 0), qRgb(68, 97, 136), 2));
  // The legend's outer bars, and the model in the middle in colours of its deviations
  // (-0.3 .. 0.3 over a band of +-0.25: green inside, red and blue beyond).
  const QRect legend(240, 0, 80, 200), middle(60, 40, 180, 120);
  EXPECT_GT(countNear(shot, qRgb(255, 0, 0), legend), 10);
  EXPECT_GT(countNear(shot, qRgb(0, 0, 255), legend), 10);
  int modelPixels = 0;
  for (int y = middle.top(); y <= middle.bottom(); ++y)
    for (int x = middle.left(); x <= middle.right(); ++x) {
      const QRgb c = shot.pixel(x, y);
      // Background pixels are grey-blue with blue >= green >= red; deviation colours are not.
      modelPixels += !(qBlue(c) >= qGreen(c) && qGreen(c) >= qRed(c));
    }
  EXPECT_GT(modelPixels, 500);
}

TEST_F(SnapshotCli, DisplayOptionsChangeThePicture) {
  const QString plain = dir.filePath("plain.bmp"), points = dir.filePath("points.bmp"),
                wide = dir.filePath("wide.bmp");
  ASSERT_EQ(runViewer({"--snapshot", plain, "--size", "300x200", session}).exitCode, 0);
  ASSERT_EQ(runViewer({"--snapshot", points, "--size", "300x200", "--points", session}).exitCode,
            0);
  ASSERT_EQ(
      runViewer({"--snapshot", wide, "--size", "300x200", "--tolerance", "5", session}).exitCode,
      0);
  const QImage a(plain), b(points), c(wide);
  ASSERT_FALSE(a.isNull());
  ASSERT_FALSE(b.isNull());
  ASSERT_FALSE(c.isNull());
  const QRect middle(40, 30, 180, 140);
  const auto differing = [&](const QImage &x, const QImage &y) {
    int n = 0;
    for (int j = middle.top(); j <= middle.bottom(); ++j)
      for (int i = middle.left(); i <= middle.right(); ++i)
        n += !near(x.pixel(i, j), y.pixel(i, j), 2);
    return n;
  };
  // Points leave most of the surface showing the background.
  EXPECT_GT(differing(a, b), 1000);
  // With a band of +-5 every deviation is well inside it, so the whole model turns the
  // green of the middle bands (counted left of the legend, which starts near x = 225).
  EXPECT_GT(differing(a, c), 100);
  const auto greenPixels = [](const QImage &image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < 225; ++x) {
        const QRgb p = image.pixel(x, y);
        n += qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 40;
      }
    return n;
  };
  EXPECT_GT(greenPixels(c), greenPixels(a) + 1000);
}

TEST_F(SnapshotCli, ErrorsAreOneLineWithStatusOneAndWriteNothing) {
  const QString out = dir.filePath("out.bmp");
  ProcessRun r = runViewer({"--snapshot", out, dir.filePath("missing.ses")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("missing.ses"));
  EXPECT_FALSE(QFileInfo::exists(out));

  r = runViewer({"--snapshot", dir.filePath("nowhere/out.bmp"), session});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("nowhere/out.bmp"));

  // A session file shorter than its header announces is refused before anything is drawn.
  const QString broken = dir.filePath("broken.ses");
  QFile::copy(session, broken);
  QFile::resize(broken, 40);
  r = runViewer({"--snapshot", out, broken});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(out));
  // Nothing but the two session files is left in the folder.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

namespace {
QByteArray tool(const QString &program, const QStringList &args) {
  QProcess p;
  p.start(program, args);
  return p.waitForFinished(60000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}
} // namespace

// The report of the opening view: counts, band and verdict in its text; the snapshot and the
// legend's red and blue bars in its pixels.
TEST_F(SnapshotCli, ReportOfTheOpeningView) {
  const QString pdf = dir.filePath("report.pdf");
  const ProcessRun r = runViewer({"--report", pdf, "--tolerance", "0.2", session});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
  EXPECT_FALSE(tool("qpdf", {"--check", pdf}).isEmpty());
  const QString text = QString::fromUtf8(tool("pdftotext", {pdf, "-"})).simplified();
  for (const char *expected : {"square.ses", "Points 9", "Triangles 8", "-0.200 to 0.200 mm",
                               "Verdict: 5 of 9 measured points (55.6 %) lie inside"})
    EXPECT_TRUE(text.contains(expected)) << expected << "\n" << text.toStdString();
  tool("pdftoppm", {"-r", "50", "-png", "-singlefile", pdf, dir.filePath("page")});
  const QImage page(dir.filePath("page.png"));
  ASSERT_FALSE(page.isNull());
  // The snapshot (from 28, 98 pt) shows the view's background, never blank paper; the legend
  // strip under it (from y 430 pt) has its blue and red ends.
  const QRect snapshot(25, 75, 300, 190), legend(19, 298, 335, 18);
  EXPECT_LT(countNear(page, qRgb(255, 255, 255), snapshot, 3), 100);
  EXPECT_GT(countNear(page, qRgb(0, 0, 255), legend, 10), 30);
  EXPECT_GT(countNear(page, qRgb(255, 0, 0), legend, 10), 30);
}

// The 3D PDF holds the bytes of the U3D export of the same file and options.
TEST_F(SnapshotCli, PdfExportEmbedsTheU3dExport) {
  const QString pdf = dir.filePath("model.pdf"), u3d = dir.filePath("model.u3d");
  ASSERT_EQ(runViewer({"--export", u3d, "--bars", "7", session}).exitCode, 0);
  const ProcessRun r = runViewer({"--export", pdf, "--bars", "7", session});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QByteArray bytes = readAllBytes(pdf), scene = readAllBytes(u3d);
  ASSERT_FALSE(scene.isEmpty());
  EXPECT_TRUE(bytes.startsWith("%PDF-1.7"));
  EXPECT_TRUE(bytes.contains(scene));
}

// Refusals of the PDF commands: the input as target, an unreadable input; an existing file
// keeps its bytes and nothing else appears.
TEST_F(SnapshotCli, PdfCommandsRefuseWithoutWriting) {
  const QString keep = dir.filePath("keep.pdf");
  QFile f(keep);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("old");
  f.close();
  const QByteArray input = readAllBytes(session);
  for (const QStringList &args :
       {QStringList{"--report", session, session}, QStringList{"--export", session, session},
        QStringList{"--report", keep, dir.filePath("missing.ses")},
        QStringList{"--export", keep, dir.filePath("missing.ses")}}) {
    const ProcessRun r = runViewer(args);
    EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
  }
  EXPECT_EQ(readAllBytes(session), input);
  EXPECT_EQ(readAllBytes(keep), "old");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"keep.pdf", "square.ses"}));
}

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
