// The headless drawing commands, run as the built program: --snapshot shows the frame a
// freshly opened window shows, display options take effect; --report and --export OUT.pdf
// carry that frame into PDF pages; errors are one line and leave no file behind.
#include "gui/TestFiles.h"
#include "records/AnnotationsFile.h"
#include "session/SessionModel.h"
#include "test_snapshot_fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
struct ProcessRun {
  int exitCode = -1;
  QByteArray out, err;
};

// Runs the viewer; a run that outlasts timeoutMs is killed and reported with exit code -1.
ProcessRun runViewer(const QStringList &args, bool withDisplay = true, int timeoutMs = 120000) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LIBGL_ALWAYS_SOFTWARE", "1");
  if (!withDisplay)
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      env.remove(name);
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora-viewer"), args);
  ProcessRun r;
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
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

TEST_F(SnapshotCli, ModelsFarFromTheOriginAreCentredAndFitted) {
  for (const float z : {300.0f, -2e4f}) {
    // A 20 x 10 plate at height z, every deviation in the green middle of the band.
    std::vector<Vec3f> pts;
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i)
        pts.push_back(Vec3f{10.0f * i, 5.0f * j, z});
    const std::vector<TestTriangle> tris = {{0, 1, 4, 0}, {0, 4, 3, 0}, {1, 2, 5, 0}, {1, 5, 4, 0},
                                            {3, 4, 7, 0}, {3, 7, 6, 0}, {4, 5, 8, 0}, {4, 8, 7, 0}};
    const QString in = dir.filePath("raised.ses"), out = dir.filePath("raised.bmp");
    writeSessionFile(in.toStdString(), pts, std::vector<float>(9, 0.01f), tris);
    ASSERT_EQ(runViewer({"--snapshot", out, "--size", "320x200", in}).exitCode, 0);
    const QImage shot(out);
    ASSERT_EQ(shot.size(), QSize(320, 200));
    const auto green = [&](const QRect &r) {
      int n = 0;
      for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
          n += qGreen(shot.pixel(x, y)) > qRed(shot.pixel(x, y)) + 40;
      return n;
    };
    // The plate covers the middle and stays clear of the edges (the legend is on the right).
    EXPECT_EQ(green({140, 90, 40, 20}), 40 * 20) << z;
    EXPECT_EQ(green({0, 0, 240, 8}) + green({0, 0, 8, 200}) + green({0, 192, 240, 8}), 0) << z;
    EXPECT_GT(green({0, 0, 240, 200}), 240 * 200 / 5) << z;
  }
}

TEST_F(SnapshotCli, AnnotationsShowTheirBannersWithTheirSettings) {
  SessionModel model;
  bool isSession = false;
  std::string error;
  ASSERT_TRUE(readModelFile(session.toStdString(), model, isSession, error)) << error;
  Annotations a;
  a.session = ModelIdentity::of(model);
  a.banners = {{4, {3, 2, 0}, ""}};
  a.display.upperTolerance = 0.5; // every point inside: the model turns green
  a.display.lowerTolerance = -0.5;
  const QString record = dir.filePath("square.ses.velmora.json");
  ASSERT_TRUE(writeAnnotations(record.toStdString(), a, session.toStdString()).ok);
  const QString plain = dir.filePath("plain.bmp"), with = dir.filePath("with.bmp");
  // The record is the sidecar: a snapshot shows it unless --no-annotations leaves it out.
  ASSERT_EQ(runViewer({"--snapshot", plain, "--no-annotations", session}).exitCode, 0);
  ProcessRun r = runViewer({"--snapshot", with, session});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  // Only the banner's box is light yellow; the record's band leaves no red point, and a band
  // given on the command line wins over it.
  EXPECT_EQ(countNear(QImage(plain), qRgb(255, 255, 230)), 0);
  EXPECT_GT(countNear(QImage(with), qRgb(255, 255, 230)), 200);
  const QRect shown(240, 200, 420, 190); // inside the model
  EXPECT_GT(countNear(QImage(plain), qRgb(255, 0, 0), shown, 40), 100);
  EXPECT_EQ(countNear(QImage(with), qRgb(255, 0, 0), shown, 40), 0);
  r = runViewer({"--snapshot", with, "--annotations", record, "--tolerance", "0.25", session});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_GT(countNear(QImage(with), qRgb(255, 0, 0), shown, 40), 100);

  // A record of another model is refused in one line; the snapshot is not written.
  a.session.pointCount = 5;
  const QString other = dir.filePath("other.json"), out = dir.filePath("out.bmp");
  ASSERT_TRUE(writeAnnotations(other.toStdString(), a, session.toStdString()).ok);
  r = runViewer({"--snapshot", out, "--annotations", other, session});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(out));
  EXPECT_EQ(runViewer({"--info", "--annotations", record, "--no-annotations", session}).exitCode,
            2);
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
  for (const char *expected :
       {"square.ses", "Points 9", "Triangles 8", "+0.200 / -0.200 mm", "(command line)",
        "FAIL: 55.6 % inside (every point inside required). 5 of 9 "
        "measured points lie inside"})
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

// The callouts of the annotations saved beside the file make the report's table, with their
// band; another record given with --annotations must exist and belong to the file.
TEST_F(SnapshotCli, ReportListsTheSavedCallouts) {
  SessionModel model;
  bool isSession = false;
  std::string error;
  ASSERT_TRUE(readModelFile(session.toStdString(), model, isSession, error)) << error;
  Annotations record;
  record.session = ModelIdentity::of(model);
  record.display.upperTolerance = 0.3;
  record.display.lowerTolerance = -0.1;
  record.banners = {{8, {}, "burr on the edge"}};
  ASSERT_TRUE(
      writeAnnotations(sidecarPathFor(session.toStdString()), record, session.toStdString()).ok);
  const QString pdf = dir.filePath("report.pdf");
  ProcessRun r = runViewer({"--report", pdf, session});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QString text = QString::fromUtf8(tool("pdftotext", {pdf, "-"})).simplified();
  for (const char *expected : {"+0.300 / -0.100 mm", "(from square.ses.velmora.json)", "Callouts",
                               "B1", "burr on the edge"})
    EXPECT_TRUE(text.contains(expected)) << expected << "\n" << text.toStdString();

  r = runViewer({"--report", pdf, "--annotations", dir.filePath("none.json"), session});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("none.json")) << r.err.toStdString();
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

TEST_F(SnapshotCli, NeverWritesOntoItsInputNorReadsWhatIsNotAFile) {
  const QByteArray before = readAllBytes(session);
  ProcessRun r = runViewer({"--snapshot", session, session});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("must end in .bmp")) << r.err.toStdString();
  // A link with a bitmap's name to the session file still names the input.
  const QString link = dir.filePath("link.bmp");
  ASSERT_TRUE(QFile::link(session, link));
  r = runViewer({"--snapshot", link, session});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("this is the input file")) << r.err.toStdString();
  EXPECT_EQ(readAllBytes(session), before);

  // A FIFO would block every reader for ever; it is refused at once, by every command.
  const QString fifo = dir.filePath("pipe.ses");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  for (const QStringList &args :
       {QStringList{"--info", fifo}, QStringList{"--export", dir.filePath("o.wrl"), fifo},
        QStringList{"--snapshot", dir.filePath("o.bmp"), fifo},
        QStringList{"--section", "X/Y", "--at", "0,0,0", fifo}}) {
    r = runViewer(args, true, 10000);
    EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains("not a regular file: a FIFO")) << r.err.toStdString();
  }
}

TEST_F(SnapshotCli, InfoReportsWhatTheReaderPassedOver) {
  QFile::resize(session, QFileInfo(session).size() + 3);
  ProcessRun r = runViewer({"--info", session});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("\"nominal\": false, \"extra_bytes\": 3, \"bounds\""))
      << r.out.toStdString();
  writeTextFile(dir.filePath("points.xyz").toStdString(), "X Y Z\n1 2 3\n");
  r = runViewer({"--info", dir.filePath("points.xyz")});
  EXPECT_TRUE(r.out.contains("\"skipped_lines\": 1, ")) << r.out.toStdString();
}

TEST_F(SnapshotCli, CommandLineIsSettledBeforeAnyWindow) {
  // Mistyped options never start the window, with or without a display.
  for (bool display : {false, true})
    for (const QStringList &args : {QStringList{"--snapshoot", "o.bmp", session},
                                    QStringList{"--bogus"}, QStringList{"--bars", "5", session}}) {
      const ProcessRun r = runViewer(args, display, 20000);
      EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
      EXPECT_TRUE(r.err.startsWith("velmora-viewer: ")) << r.err.toStdString();
      EXPECT_TRUE(r.err.contains("\nusage: velmora-viewer")) << r.err.toStdString();
      EXPECT_TRUE(r.out.isEmpty());
    }
  EXPECT_TRUE(runViewer({"--snapshoot", "o.bmp", session}, false)
                  .err.startsWith("velmora-viewer: unknown option --snapshoot\n"));
  ProcessRun r = runViewer({"-h"}, false);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.startsWith("usage: velmora-viewer")) << r.out.toStdString();
  EXPECT_TRUE(r.err.isEmpty());
  r = runViewer({"--version"}, false);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.toStdString(), "velmora-viewer " VELMORA_VERSION "\n");
  // The drawing driver, found without a display; llvmpipe here, whose arrays stay in place.
  r = runViewer({"--version", "--verbose"}, false);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.contains("OpenGL: llvmpipe")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("Model arrays: drawn in place")) << r.out.toStdString();
  EXPECT_EQ(runViewer({"--verbose"}, false).exitCode, 2);
  // A window without a display is a message, not an abort.
  r = runViewer({session}, false, 20000);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("no display")) << r.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists("o.bmp"));
}

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
