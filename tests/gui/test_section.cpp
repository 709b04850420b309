// The "Create a Plane" dialog and the section curve it creates.
#include "analysis/ColourScale.h"
#include "analysis/NearestPointIndex.h"
#include "analysis/SectionCsv.h"
#include "gui/GuiTestMain.h"
#include "scene/TransparentPlane.h"
#include "test_snapshot_fakes.h"
#include "view/PolylineNode.h"
#include "view/SectionDialog.h"
#include "view/ViewFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <cmath>

namespace {
class SectionTest : public ViewFixture {
protected:
  SectionDialog *open() {
    view->onGenerateSectionCurve();
    auto *dlg = qobject_cast<SectionDialog *>(view->sectionDialog.data());
    EXPECT_NE(dlg, nullptr);
    return dlg;
  }
  QLineEdit *edit(SectionDialog *d, int id) { return qobject_cast<QLineEdit *>(d->control(id)); }
  QComboBox *combo(SectionDialog *d, int id) { return qobject_cast<QComboBox *>(d->control(id)); }
  void spin(SectionDialog *d, int id, const char *arrow) {
    auto *b = d->control(id)->findChild<QToolButton *>(arrow);
    ASSERT_NE(b, nullptr);
    b->click();
  }
  void create(SectionDialog *d) {
    qobject_cast<QPushButton *>(d->control(SectionDialog::IdCreate))->click();
  }
  std::vector<Vec3d> planeCorners() {
    TransparentPlane *p = view->scene().plane();
    return p ? p->corners() : std::vector<Vec3d>{};
  }
  std::vector<PolylineNode *> sections() {
    std::vector<PolylineNode *> out;
    view->scene().sectionCurves.forEach(
        [&](SceneNode *n) { out.push_back(dynamic_cast<PolylineNode *>(n)); });
    return out;
  }
  std::array<bool, 3> enabledEdits(SectionDialog *d) {
    return {edit(d, SectionDialog::IdX)->isEnabled(), edit(d, SectionDialog::IdY)->isEnabled(),
            edit(d, SectionDialog::IdZ)->isEnabled()};
  }
  FakeUi ui;
};

void expectCorners(const std::vector<Vec3d> &got, const std::vector<Vec3d> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_DOUBLE_EQ(got[i].x, want[i].x) << "corner " << i;
    EXPECT_DOUBLE_EQ(got[i].y, want[i].y) << "corner " << i;
    EXPECT_DOUBLE_EQ(got[i].z, want[i].z) << "corner " << i;
  }
}
} // namespace

TEST_F(SectionTest, OpensWithTheXYPlaneThroughTheOriginShown) {
  load(); // square: x 0..20, y 0..10, z 0
  SectionDialog *d = open();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle(), "Create a Plane");
  EXPECT_FALSE(d->isModal());
  QComboBox *plane = combo(d, SectionDialog::IdPlane);
  ASSERT_EQ(plane->count(), 3);
  EXPECT_EQ(plane->itemText(0), "X/Y");
  EXPECT_EQ(plane->itemText(1), "Y/Z");
  EXPECT_EQ(plane->itemText(2), "X/Z");
  EXPECT_EQ(plane->currentIndex(), 0);
  QComboBox *step = combo(d, SectionDialog::IdStep);
  QStringList steps;
  for (int i = 0; i < step->count(); ++i)
    steps << step->itemText(i);
  EXPECT_EQ(steps, (QStringList{"0.001", "0.01", "0.1", "1", "10"}));
  EXPECT_EQ(step->currentText(), "1");
  EXPECT_EQ(d->step(), 1.0);
  for (int id : {SectionDialog::IdX, SectionDialog::IdY, SectionDialog::IdZ})
    EXPECT_EQ(edit(d, id)->text(), "0");
  for (int id : {1, 2, 1035, 1036, 1038, 1039, 1040, 1041, 1042, 1043})
    EXPECT_NE(d->control(id), nullptr) << id;
  EXPECT_EQ(enabledEdits(d), (std::array<bool, 3>{false, false, true}));
  // The box widened away from zero by 1.5: x -1.5..21.5, y -1.5..11.5; cut at z = 0.
  expectCorners(planeCorners(),
                {{-1.5, -1.5, 0}, {21.5, -1.5, 0}, {21.5, 11.5, 0}, {-1.5, 11.5, 0}});
  EXPECT_TRUE(ui.messages.empty());
  d->grab().save(QStringLiteral(VELMORA_BINARY_DIR "/section-dialog.png")); // for looking at
}

TEST_F(SectionTest, PlaneChoiceEnablesOnlyTheFixedCoordinateAndMovesThePlane) {
  load();
  SectionDialog *d = open();
  edit(d, SectionDialog::IdX)->setText("7");
  combo(d, SectionDialog::IdPlane)->setCurrentIndex(1); // Y/Z
  EXPECT_EQ(enabledEdits(d), (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(d->axisRecord(), (AxisRecord{{0, 1, 1}}));
  // z is 0 at both ends of the flat box, and 0 moves down: both become -1.5.
  expectCorners(planeCorners(),
                {{7, -1.5, -1.5}, {7, 11.5, -1.5}, {7, 11.5, -1.5}, {7, -1.5, -1.5}});

  edit(d, SectionDialog::IdY)->setText("4");
  combo(d, SectionDialog::IdPlane)->setCurrentIndex(2); // X/Z
  EXPECT_EQ(enabledEdits(d), (std::array<bool, 3>{false, true, false}));
  EXPECT_EQ(d->axisRecord(), (AxisRecord{{1, 0, 1}}));
  expectCorners(planeCorners(),
                {{-1.5, 4, -1.5}, {21.5, 4, -1.5}, {21.5, 4, -1.5}, {-1.5, 4, -1.5}});
}

TEST_F(SectionTest, SpinButtonsStepByTheChosenStepEvenOnDisabledEdits) {
  load();
  SectionDialog *d = open();
  combo(d, SectionDialog::IdStep)->setCurrentIndex(2); // "0.1"
  EXPECT_DOUBLE_EQ(d->step(), 0.1);
  ASSERT_FALSE(edit(d, SectionDialog::IdX)->isEnabled());
  spin(d, SectionDialog::IdSpinX, "up");
  EXPECT_EQ(edit(d, SectionDialog::IdX)->text(), "0.1");
  spin(d, SectionDialog::IdSpinX, "down");
  spin(d, SectionDialog::IdSpinX, "down");
  EXPECT_EQ(edit(d, SectionDialog::IdX)->text(), "-0.1");
  EXPECT_DOUBLE_EQ(d->planePoint().x, -0.1);

  combo(d, SectionDialog::IdStep)->setCurrentIndex(4); // "10"
  spin(d, SectionDialog::IdSpinZ, "up");
  EXPECT_EQ(edit(d, SectionDialog::IdZ)->text(), "10");
  // The plane follows the spin at once.
  const std::vector<Vec3d> c = planeCorners();
  ASSERT_EQ(c.size(), 4u);
  for (const Vec3d &p : c)
    EXPECT_DOUBLE_EQ(p.z, 10);
}

TEST_F(SectionTest, BadEntriesStopWithTheValidationMessage) {
  load();
  SectionDialog *d = open();
  struct Case {
    const char *text;
    const char *message;
  } cases[] = {{"abc", "Please enter a number."},
               {"", "Please enter a number."},
               {"nan", "Please enter a number."},
               {"2000000", "Please enter an integer between -1000000 and 1000000."},
               {"-1000001", "Please enter an integer between -1000000 and 1000000."}};
  for (const Case &c : cases) {
    ui.messages.clear();
    edit(d, SectionDialog::IdZ)->setText(c.text);
    create(d);
    ASSERT_EQ(ui.messages.size(), 1u) << c.text;
    EXPECT_EQ(ui.messages[0].text, c.message) << c.text;
    EXPECT_TRUE(view->scene().sectionCurves.empty());
    EXPECT_TRUE(view->showModel);
    EXPECT_NE(view->scene().plane(), nullptr);
  }
  // A bad entry also stops the spin: the other coordinate keeps its value.
  ui.messages.clear();
  spin(d, SectionDialog::IdSpinX, "up");
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(d->planePoint().x, 0);
  // The integer part is what is checked.
  ui.messages.clear();
  edit(d, SectionDialog::IdZ)->setText("-1000000.9");
  create(d);
  ASSERT_EQ(ui.messages.size(), 1u); // accepted, and far from the model
  EXPECT_EQ(ui.messages[0].text, "The plane does not cut the model.");
  EXPECT_DOUBLE_EQ(d->planePoint().z, -1000000.9);
}

TEST_F(SectionTest, CreateShowsColouredSectionHidesModelAndCreateAgainReplacesIt) {
  GLPointCloud *cloud = load();
  ASSERT_NE(cloud, nullptr);
  SectionDialog *d = open();
  combo(d, SectionDialog::IdPlane)->setCurrentIndex(1); // Y/Z
  edit(d, SectionDialog::IdX)->setText("5");
  create(d);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(view->showModel);
  EXPECT_EQ(view->scene().plane(), nullptr);
  std::vector<PolylineNode *> s = sections();
  ASSERT_EQ(s.size(), 1u);
  ASSERT_NE(s[0], nullptr);
  EXPECT_EQ(s[0]->width, 20);
  EXPECT_FALSE(s[0]->primitive);
  EXPECT_TRUE(s[0]->perVertexColours);
  EXPECT_EQ(s[0]->red(), 1);
  EXPECT_EQ(s[0]->green(), 0);
  EXPECT_EQ(s[0]->blue(), 1);
  // The line x = 5 across the square: every point on it, y within the square, each
  // coloured by the deviation of its nearest measured point.
  const SessionModel &m = *cloud->model();
  const ColourScale scale(0.25f, -0.25f, 15, 0, false, false);
  // Four triangles cross x = 5; each short segment gives one sample.
  ASSERT_EQ(s[0]->count(), 4u);
  ASSERT_EQ(s[0]->colours().size(), s[0]->count());
  for (std::size_t i = 0; i < s[0]->count(); ++i) {
    const Vec3d &p = s[0]->points()[i];
    EXPECT_NEAR(p.x, 5, 1e-9);
    EXPECT_GE(p.y, -1e-9);
    EXPECT_LE(p.y, 10 + 1e-9);
    const int nearest = nearestPointLinear(m.points.data(), std::size_t(m.pointCount), p);
    ASSERT_GE(nearest, 0);
    EXPECT_EQ(s[0]->colours()[i], scale.colourFor(m.deviations[nearest])) << i;
  }

  edit(d, SectionDialog::IdX)->setText("15");
  create(d);
  s = sections();
  ASSERT_EQ(s.size(), 1u);
  ASSERT_GT(s[0]->count(), 0u);
  for (const Vec3d &p : s[0]->points())
    EXPECT_NEAR(p.x, 15, 1e-9);

  // A plane that misses the model says so and leaves the section shown as it was.
  edit(d, SectionDialog::IdX)->setText("50");
  create(d);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "The plane does not cut the model.");
  ASSERT_EQ(sections(), s);
  EXPECT_GT(s[0]->count(), 0u);
}

TEST_F(SectionTest, ExportWritesTheCommandLinesCsvNeverOverItsInput) {
  GLPointCloud *cloud = load();
  SectionDialog *d = open();
  combo(d, SectionDialog::IdPlane)->setCurrentIndex(1); // Y/Z
  edit(d, SectionDialog::IdX)->setText("5");
  create(d);
  ASSERT_TRUE(view->hasSection());
  // What --section Y/Z --at 5,0,0 --csv writes for this file with the default display.
  const SectionResult expected =
      SectionCutter().cut(SectionMesh::of(*cloud->model()), {1, 0, 0}, {5, 0, 0},
                          ColourScale(0.25f, -0.25f, 15, 0, false, false));
  ui.nextSavePath = dir.filePath("cut.csv");
  view->onExportSection();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Exporting successful");
  EXPECT_EQ(ui.saveCalls.back().defaultName, dir.filePath("square-section.csv"));
  EXPECT_EQ(readAllBytes(dir.filePath("cut.csv")), QByteArray::fromStdString(sectionCsv(expected)));
  // Never over the window's own file.
  const QByteArray measured = readAllBytes(dir.filePath("square.ses"));
  ui.nextSavePath = dir.filePath("square.ses");
  view->onExportSection();
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[1].text, "Exporting the section failed");
  EXPECT_EQ(readAllBytes(dir.filePath("square.ses")), measured);
}

TEST_F(SectionTest, DialogClosesWithItsViewAndANewViewColoursByItsOwnModel) {
  load();
  QPointer<SectionDialog> d = open();
  d->setParent(nullptr, Qt::Dialog); // as under the main frame, where the view goes first
  combo(d, SectionDialog::IdPlane)->setCurrentIndex(1);
  edit(d, SectionDialog::IdX)->setText("5");
  create(d);
  ASSERT_EQ(sections().size(), 1u);

  // The same square with other deviations and its points stored in reverse order, in a new
  // view (the old model is released first, so the new one may well take its address); an
  // index of the old model would name the wrong points.
  view.reset();
  EXPECT_TRUE(d.isNull());
  const std::string other = (dir.path() + "/other.ses").toStdString();
  std::vector<Vec3f> pts(9);
  std::vector<float> dev(9);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      pts[8 - (j * 3 + i)] = Vec3f{10.0f * i, 5.0f * j, 0.0f};
      dev[8 - (j * 3 + i)] = i == 0 ? 0.4f : -0.4f;
    }
  std::vector<TestTriangle> tris;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) {
      const int a = j * 3 + i;
      tris.push_back({8 - a, 8 - (a + 1), 8 - (a + 4), 0});
      tris.push_back({8 - a, 8 - (a + 4), 8 - (a + 3), 0});
    }
  writeSessionFile(other, pts, dev, tris);
  ViewFixture::SetUp();
  GLPointCloud *cloud = loadPath(other);
  ASSERT_NE(cloud, nullptr);
  d = open();
  combo(d, SectionDialog::IdPlane)->setCurrentIndex(1);
  edit(d, SectionDialog::IdX)->setText("5");
  create(d);
  const std::vector<PolylineNode *> s = sections();
  ASSERT_EQ(s.size(), 1u);
  ASSERT_GT(s[0]->count(), 0u);
  const ColourScale scale(0.25f, -0.25f, 15, 0, false, false);
  const SessionModel &m = *cloud->model();
  for (std::size_t i = 0; i < s[0]->count(); ++i) {
    const int nearest =
        nearestPointLinear(m.points.data(), std::size_t(m.pointCount), s[0]->points()[i]);
    EXPECT_EQ(s[0]->colours()[i], scale.colourFor(m.deviations[nearest])) << i;
  }
}

TEST_F(SectionTest, ClosingTakesThePlaneAwayAndEachCommandMakesANewDialog) {
  load();
  QPointer<SectionDialog> first = open();
  ASSERT_TRUE(first->isVisible());
  ASSERT_NE(view->scene().plane(), nullptr);
  qobject_cast<QPushButton *>(first->control(SectionDialog::IdClose))->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  // Gone from the screen and released, and its plane preview with it.
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(view->scene().plane(), nullptr);
  SectionDialog *second = open();
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(view->sectionDialog.data(), second);
  // A dialog left open stays when the command is given again.
  SectionDialog *third = open();
  EXPECT_NE(second, third);
  EXPECT_TRUE(second->isVisible());
  EXPECT_EQ(view->sectionDialog.data(), third);
}

TEST_F(SectionTest, SectionOfTheSampleIsDrawnWithoutTheModel) {
  loadPath(VELMORA_SOURCE_DIR "/samples/rocker-arm.ses");
  paint();
  const QImage before = view->grabFramebuffer();
  SectionDialog *d = open();
  create(d); // X/Y at z = 0
  ASSERT_EQ(sections().size(), 1u);
  ASSERT_GT(sections()[0]->count(), 100u);
  paint();
  const QImage after = view->grabFramebuffer();
  after.save(QStringLiteral(VELMORA_BINARY_DIR "/section-rocker-arm.png"));
  // The section points are saturated deviation colours (green band and neighbours), the
  // model's shaded surface is gone: far fewer pixels differ from the background now.
  const auto modelish = [](const QImage &img) {
    int n = 0;
    const QRect area(0, 0, img.width() * 3 / 4, img.height() * 4 / 5); // left of the legend
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x) {
        const QRgb p = img.pixel(x, y);
        n += !(qBlue(p) >= qGreen(p) && qGreen(p) >= qRed(p));
      }
    return n;
  };
  const int modelPixels = modelish(before), sectionPixels = modelish(after);
  EXPECT_GT(sectionPixels, 100);
  EXPECT_LT(sectionPixels, modelPixels / 2);
}

VELMORA_GUI_TEST_MAIN()
