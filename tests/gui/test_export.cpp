// The Export command: its dialog, the format chosen by suffix in any case, the colour
// settings each format takes, and the messages for success and failure.
#include "analysis/ToleranceStatus.h"
#include "export/ExportFile.h"
#include "gui/GuiTestMain.h"
#include "test_snapshot_fakes.h"
#include "view/ViewFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QtEndian>

namespace {
class ExportTest : public ViewFixture {
protected:
  void SetUp() override {
    ViewFixture::SetUp();
    cloud = load();
    ASSERT_NE(cloud, nullptr);
    sessionPath = (dir.path() + "/square.ses").toStdString();
    // The node's settings and the view's differ, so a scale from the wrong one shows.
    cloud->display.upperTolerance = 0.1;
    cloud->display.lowerTolerance = -0.2;
    cloud->display.colourBars = 7;
    cloud->display.pointFilter = PointFilter::All;
    cloud->display.gradient = true;
    cloud->display.extendedColours = true;
    view->display.upperTolerance = 0.3;
    view->display.lowerTolerance = -0.05;
    view->display.colourBars = 4;
    view->display.pointFilter = PointFilter::OutsideOnly;
  }
  void TearDown() override { ViewFixture::TearDown(); }
  // Runs the command with the user choosing path; returns the messages shown.
  std::vector<FakeUi::Message> exportTo(const QString &path) {
    ui.messages.clear();
    ui.nextSavePath = path;
    view->onExport();
    return ui.messages;
  }
  QByteArray reference(const char *name, const ColourScale &scale) {
    const QString path = refDir.filePath(name);
    EXPECT_TRUE(exportSessionFile(path.toStdString(), sessionPath, scale).ok);
    return readAllBytes(path);
  }

  GLPointCloud *cloud = nullptr;
  std::string sessionPath;
  QTemporaryDir refDir;
  FakeUi ui;
};
} // namespace

TEST_F(ExportTest, DialogOffersBothFormatsAndCancelDoesNothing) {
  EXPECT_TRUE(exportTo(QString()).empty());
  ASSERT_EQ(ui.saveCalls.size(), 1u);
  EXPECT_EQ(ui.saveCalls[0].title, "Dateiname und Pfad des Ziels angeben");
  EXPECT_EQ(ui.saveCalls[0].defaultName, "output");
  EXPECT_EQ(ui.saveCalls[0].defaultSuffix, "wrl");
  EXPECT_EQ(ui.saveCalls[0].filters,
            (QStringList{"wrl file (*.wrl)", "u3d file (*.u3d)", "3D PDF (*.pdf)",
                         "glTF binary (*.glb)", "Web page (*.html)"}));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"square.ses"});
}

TEST_F(ExportTest, VrmlUsesThePointCloudsSettingsInAnyCase) {
  const QByteArray expected = reference("ref.wrl", ColourScale(0.1f, -0.2f, 7, 0, true, true));
  // Different settings give a different file, so the comparison below means something.
  ASSERT_NE(expected, reference("other.wrl", ColourScale(0.3f, -0.05f, 4, 2, false, false)));
  for (const char *name : {"out.wrl", "OUT.WRL", "Mixed.Wrl"}) {
    const QString path = dir.filePath(name);
    const auto messages = exportTo(path);
    ASSERT_EQ(messages.size(), 1u) << name;
    EXPECT_EQ(messages[0].text, "Exporting successful") << name;
    EXPECT_TRUE(readAllBytes(path).startsWith("#VRML V2.0 utf8")) << name;
    EXPECT_EQ(readAllBytes(path), expected) << name;
  }
}

// The shared formats colour as the window does (the point cloud's settings) and are titled
// with the file's name.
TEST_F(ExportTest, GltfAndWebPageTakeThePointCloudsSettings) {
  ShareScene scene;
  scene.title = "square.ses";
  const ColourScale shown(0.1f, -0.2f, 7, 0, true, true);
  const std::vector<char> expected = glbBytes(*cloud->model(), shown, scene);
  ASSERT_FALSE(expected.empty());
  const QString glb = dir.filePath("Out.GLB"), page = dir.filePath("out.html");
  for (const QString &path : {glb, page}) {
    const auto messages = exportTo(path);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Exporting successful") << messages[0].detail.toStdString();
  }
  EXPECT_EQ(readAllBytes(glb), QByteArray(expected.data(), qsizetype(expected.size())));
  EXPECT_TRUE(readAllBytes(page).contains("<title>square.ses</title>"));
}

// The banners the window shows, saved or not, travel in the glTF's extras, judged by the
// tolerances of the file's colours (the point cloud's), not the view's.
TEST_F(ExportTest, GltfCarriesTheWindowsCallouts) {
  ASSERT_EQ(view->calloutWorstPoints(2, 0), 2);
  ASSERT_EQ(exportTo(dir.filePath("called.glb")).size(), 1u);
  const QByteArray bytes = readAllBytes(dir.filePath("called.glb"));
  const quint32 jsonLength = qFromLittleEndian<quint32>(bytes.constData() + 12);
  const QJsonValue extras = QJsonDocument::fromJson(bytes.mid(20, jsonLength)).object()["extras"];
  const QJsonArray callouts = extras.toObject()["callouts"].toArray();
  ASSERT_EQ(callouts.size(), 2);
  for (int i = 0; i < 2; ++i) {
    const QJsonObject c = callouts[i].toObject();
    EXPECT_EQ(c["id"].toString(), QStringLiteral("B%1").arg(i + 1));
    const float dev = float(c["deviation"].toDouble());
    EXPECT_EQ(c["status"].toString(), toleranceStatusName(toleranceStatus(dev, -0.2, 0.1, true)));
  }
}

TEST_F(ExportTest, U3dUsesTheViewsBandWithoutGradientOrExtendedColours) {
  const QByteArray expected = reference("ref.u3d", ColourScale(0.3f, -0.05f, 4, 2, false, false));
  ASSERT_FALSE(expected.isEmpty());
  ASSERT_NE(expected, reference("node.u3d", ColourScale(0.1f, -0.2f, 7, 0, true, true)));
  for (const char *name : {"out.u3d", "OUT.U3D"}) {
    const QString path = dir.filePath(name);
    const auto messages = exportTo(path);
    ASSERT_EQ(messages.size(), 1u) << name;
    EXPECT_EQ(messages[0].text, "Exporting successful") << name;
    EXPECT_EQ(readAllBytes(path), expected) << name;
  }
}

// The 3D PDF holds the U3D export's bytes as they are, and the window's picture, drawn
// offscreen, where 3D is not shown.
TEST_F(ExportTest, PdfCarriesTheU3dSceneAndTheWindowsPicture) {
  const QByteArray u3d = reference("ref.u3d", ColourScale(0.3f, -0.05f, 4, 2, false, false));
  const QString pdf = dir.filePath("out.pdf");
  const auto messages = exportTo(pdf);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Exporting successful") << messages[0].detail.toStdString();
  const QByteArray bytes = readAllBytes(pdf);
  EXPECT_TRUE(bytes.startsWith("%PDF-1.7"));
  EXPECT_TRUE(bytes.contains(u3d));
  // The picture fills the annotation (36..806 x 62..502 pt): at 36 dpi it shows the view's
  // background, grey at the bottom and blue at the top, and the model's deviation colours.
  QProcess render;
  render.start("pdftoppm", {"-r", "36", "-png", "-singlefile", pdf, dir.filePath("poster")});
  ASSERT_TRUE(render.waitForFinished(60000));
  const QImage page(dir.filePath("poster.png"));
  ASSERT_FALSE(page.isNull());
  const QRect annotation(20, 33, 380, 215);
  int coloured = 0;
  for (int y = annotation.top(); y <= annotation.bottom(); ++y)
    for (int x = annotation.left(); x <= annotation.right(); ++x) {
      const QColor c = page.pixelColor(x, y);
      coloured += c.saturation() > 200 && c.value() > 150;
    }
  EXPECT_GT(coloured, 3000);
  EXPECT_LT(countNear(page, qRgb(255, 255, 255), annotation, 3), 200);
  EXPECT_GT(qGray(page.pixel(25, 240)), qGray(page.pixel(25, 40)) + 40);
}

// The report of the window: its model, its band and legend, its camera drawn offscreen; never
// written over the measured file.
TEST_F(ExportTest, CreateReportWritesTheWindowsView) {
  // Banners pinned in the window, saved or not, fill the callout table.
  ASSERT_EQ(view->calloutWorstPoints(2, 0), 2);
  ui.nextSavePath = dir.filePath("r.pdf");
  view->onCreateReport();
  ASSERT_EQ(ui.saveCalls.size(), 1u);
  EXPECT_EQ(ui.saveCalls[0].defaultName, dir.filePath("square-report.pdf"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Report created") << ui.messages[0].detail.toStdString();
  QProcess text;
  text.start("pdftotext", {dir.filePath("r.pdf"), "-"});
  ASSERT_TRUE(text.waitForFinished(60000));
  const QByteArray words = text.readAllStandardOutput().simplified();
  EXPECT_TRUE(words.contains("square.ses")) << words.toStdString();
  EXPECT_TRUE(words.contains("+0.300 / -0.050 mm")) << words.toStdString();
  // 0.3f lies on the upper limit as drawn, so it counts inside, as its colour says.
  EXPECT_TRUE(words.contains("FAIL: 55.6 % inside (every point inside required). 5 of 9 measured "
                             "points"))
      << words.toStdString();
  EXPECT_TRUE(words.contains("B1") && words.contains("B2")) << words.toStdString();

  const QByteArray input = readAllBytes(QString::fromStdString(sessionPath));
  ui.messages.clear();
  ui.nextSavePath = QString::fromStdString(sessionPath);
  view->onCreateReport();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Creating the report failed");
  EXPECT_EQ(readAllBytes(QString::fromStdString(sessionPath)), input);
}

TEST_F(ExportTest, FailuresSayExportingFailedWithTheReason) {
  // A folder that does not exist.
  const QString missing = dir.filePath("nowhere/out.wrl");
  auto messages = exportTo(missing);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Exporting failed");
  EXPECT_TRUE(messages[0].detail.contains("nowhere/out.wrl")) << messages[0].detail.toStdString();
  EXPECT_FALSE(QFileInfo::exists(missing));

  // A name that is neither format is not exported, and the user is told.
  messages = exportTo(dir.filePath("out.txt"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Exporting failed");
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.txt")));

  // The window's model is exported as loaded, even once its file is gone, and never over it.
  const QByteArray expected = reference("ref.wrl", ColourScale(0.1f, -0.2f, 7, 0, true, true));
  messages = exportTo(QString::fromStdString(sessionPath));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Exporting failed");
  QFile::remove(QString::fromStdString(sessionPath));
  messages = exportTo(dir.filePath("after.wrl"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Exporting successful");
  EXPECT_TRUE(messages[0].detail.contains("square.ses")) << messages[0].detail.toStdString();
  EXPECT_EQ(readAllBytes(dir.filePath("after.wrl")), expected);
}

TEST_F(ExportTest, ChosenFilterDecidesTheFormatOfABareName) {
  const QByteArray expected = reference("ref.u3d", ColourScale(0.3f, -0.05f, 4, 2, false, false));
  ui.nextSaveFilter = "u3d file (*.u3d)";
  const auto messages = exportTo(dir.filePath("bunny"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Exporting successful");
  EXPECT_EQ(readAllBytes(dir.filePath("bunny.u3d")), expected);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"bunny.u3d", "square.ses"}));
}

// The real save dialog: a name typed after picking the second filter gets that suffix.
TEST(SaveDialog, BareNameTakesTheSuffixOfThePickedFilter) {
  QTemporaryDir dir;
  QTimer::singleShot(0, [] {
    auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    auto *types = dlg->findChild<QComboBox *>("fileTypeCombo");
    auto *name = dlg->findChild<QLineEdit *>("fileNameEdit");
    ASSERT_TRUE(types && name);
    QTest::keyClick(types, Qt::Key_Down); // as the user picks "u3d file (*.u3d)"
    name->setText("bunny");
    QTest::keyClick(name, Qt::Key_Return);
  });
  UiServices real;
  QString filter;
  const QString chosen =
      real.saveFileName(nullptr, "Export", dir.filePath("output"),
                        {"wrl file (*.wrl)", "u3d file (*.u3d)"}, "wrl", &filter);
  EXPECT_EQ(filter, "u3d file (*.u3d)");
  EXPECT_EQ(chosen, dir.filePath("bunny.u3d"));
}

TEST_F(ExportTest, PointTextFilesAreRefused) {
  const std::string text = (dir.path() + "/points.txt").toStdString();
  writeTextFile(text, "0 0 0\n1 0 0\n0 1 0\n");
  view->makeCurrent();
  view->scene().clearModels();
  view->doneCurrent();
  ASSERT_NE(loadPath(text), nullptr);
  const QString target = dir.filePath("out.wrl");
  const auto messages = exportTo(target);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Exporting failed");
  EXPECT_TRUE(messages[0].detail.contains("session file")) << messages[0].detail.toStdString();
  EXPECT_FALSE(QFileInfo::exists(target));

  // Nothing loaded at all: refused the same way.
  view->makeCurrent();
  view->scene().clearModels();
  view->doneCurrent();
  const auto none = exportTo(target);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].text, "Exporting failed");
  EXPECT_FALSE(QFileInfo::exists(target));
}

VELMORA_GUI_TEST_MAIN()
