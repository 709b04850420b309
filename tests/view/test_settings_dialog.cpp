// The settings dialog acting on a real view and its point cloud: every control's effect.
#include "ViewFixture.h"
#include "gui/GuiTestMain.h"
#include "gui/test_snapshot_fakes.h"
#include "records/AnnotationsFile.h"
#include "scene/LegendNode.h"
#include "view/SceneRecord.h"
#include "view/SettingsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

class SettingsDialogTest : public ViewFixture {
protected:
  SettingsDialog *open() {
    view->onTolerance();
    SettingsDialog *d = view->settingsDialog.data();
    EXPECT_NE(d, nullptr);
    return d;
  }
  static QLineEdit *edit(SettingsDialog *d, int id) {
    return qobject_cast<QLineEdit *>(d->control(id));
  }
  static void click(SettingsDialog *d, int id) {
    auto *b = qobject_cast<QAbstractButton *>(d->control(id));
    ASSERT_NE(b, nullptr) << id;
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, b->height() / 2));
  }
  static void typeInto(SettingsDialog *d, int id, const QString &text) {
    QLineEdit *e = edit(d, id);
    e->selectAll();
    QTest::keyClicks(e, text);
    // Typing replaces the selection; make sure nothing of the old text is left.
    e->setText(text);
  }
  static void enter(SettingsDialog *d, int id) { QTest::keyClick(d->control(id), Qt::Key_Return); }
};

TEST_F(SettingsDialogTest, OpensWithTheViewsValuesInTheirPrintedForms) {
  load();
  SettingsDialog *d = open();
  EXPECT_EQ(d->windowTitle(), "Settings");
  EXPECT_FALSE(d->isModal());
  EXPECT_EQ(edit(d, 1008)->text(), "0.25");
  EXPECT_EQ(edit(d, 1009)->text(), "-0.25");
  EXPECT_FALSE(edit(d, 1009)->isVisible());
  EXPECT_FALSE(edit(d, 1009)->isEnabled());
  EXPECT_EQ(edit(d, 1010)->text(), "15");
  EXPECT_EQ(edit(d, 1020)->text(), "3");
  EXPECT_EQ(edit(d, 1012)->text(), "1."); // 12 significant digits, the point kept
  EXPECT_TRUE(qobject_cast<QRadioButton *>(d->control(1013))->isChecked());
  EXPECT_TRUE(qobject_cast<QRadioButton *>(d->control(1030))->isChecked()); // own colour
  EXPECT_TRUE(qobject_cast<QPushButton *>(d->control(10201))->isChecked());
  EXPECT_FALSE(qobject_cast<QPushButton *>(d->control(1))->isVisible());
  EXPECT_EQ(qobject_cast<QCheckBox *>(d->control(1021))->text(),
            "Show only points outside the tolerance range");
  // No nominal points: the magnification cannot be used.
  EXPECT_FALSE(edit(d, 1012)->isEnabled());
  d->close();
}

TEST_F(SettingsDialogTest, MagnificationIsEnabledOnlyWithNominalPoints) {
  load(true);
  EXPECT_TRUE(view->hasNominalPoints);
  SettingsDialog *d = open();
  EXPECT_TRUE(edit(d, 1012)->isEnabled());
  d->close();
}

TEST_F(SettingsDialogTest, NumberTextsFollowThePrintfForms) {
  EXPECT_EQ(SettingsDialog::fixedText(1.0), "1.0");
  EXPECT_EQ(SettingsDialog::fixedText(2.5), "2.5");
  EXPECT_EQ(SettingsDialog::fixedText(0.125), "0.125");
  EXPECT_EQ(SettingsDialog::significantText(0.1), "0.1");
  EXPECT_EQ(SettingsDialog::significantText(-0.25), "-0.25");
  EXPECT_EQ(SettingsDialog::significantText(3.0), "3.");
  EXPECT_EQ(SettingsDialog::significantText(1.0 / 3.0), "0.333333333333");
  EXPECT_EQ(SettingsDialog::significantText(0.0), "0");
  EXPECT_EQ(SettingsDialog::readDouble("0.1mm"), 0.1);
  EXPECT_EQ(SettingsDialog::readDouble("abc"), 0.0);
  EXPECT_EQ(SettingsDialog::readDouble(""), 0.0);
  EXPECT_EQ(SettingsDialog::readInt("7.9"), 7);
  EXPECT_EQ(SettingsDialog::readInt("x"), 0);
}

TEST_F(SettingsDialogTest, PointButtonsSetModeAndSizeOnViewAndNode) {
  GLPointCloud *node = load();
  SettingsDialog *d = open();
  const struct {
    int id, mode, size;
  } cases[] = {{1017, 1, 1}, {1018, 1, 2}, {1019, 1, 3}, {10201, 4, 0}};
  for (const auto &c : cases) {
    click(d, c.id);
    EXPECT_EQ(code(view->display.displayMode), c.mode) << c.id;
    EXPECT_EQ(code(view->display.pointSize), c.size) << c.id;
    EXPECT_EQ(code(node->display.displayMode), c.mode) << c.id;
    EXPECT_EQ(code(node->display.pointSize), c.size) << c.id;
  }
  d->close();
}

TEST_F(SettingsDialogTest, ApplyDropsTheMeshForPointsAndTheNextFrameUploadsItAgain) {
  GLPointCloud *node = load();
  paint();
  const int uploads = node->meshUploads();
  ASSERT_GT(uploads, 0); // the first frame uploaded the mesh
  SettingsDialog *d = open();
  click(d, 1017); // points: the mesh's buffers are released and not rebuilt
  paint();
  EXPECT_EQ(node->meshUploads(), uploads);
  click(d, 10201);
  paint();
  EXPECT_GT(node->meshUploads(), uploads);
  EXPECT_FALSE(node->uploadPending()) << "a small model is shown whole at once";
  d->close();
}

TEST_F(SettingsDialogTest, FilterCheckBoxTogglesBetweenOutsideOnlyAndAll) {
  GLPointCloud *node = load();
  SettingsDialog *d = open();
  click(d, 1021);
  EXPECT_EQ(code(view->display.pointFilter), 2);
  EXPECT_EQ(code(node->display.pointFilter), 2);
  click(d, 1021);
  EXPECT_EQ(code(view->display.pointFilter), 0);
  EXPECT_EQ(code(node->display.pointFilter), 0);
  d->close();
  // A new dialog starts with the toggle off: its first click selects outside-only again.
  view->display.pointFilter = PointFilter::All;
  SettingsDialog *d2 = open();
  click(d2, 1021);
  EXPECT_EQ(code(view->display.pointFilter), 2);
  d2->close();
}

TEST_F(SettingsDialogTest, BadEntriesAreRefusedWithAMessageAndKeepTheFocus) {
  GLPointCloud *node = load(true);
  FakeUi ui;
  SettingsDialog *d = open();
  d->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(d));
  const struct {
    int id;
    const char *text, *good;
  } cases[] = {{1008, "nan", "0.25"},  {1008, "inf", "0.25"}, {1008, "0", "0.25"},
               {1008, "-0.1", "0.25"}, {1008, "", "0.25"},    {1010, "2", "15"},
               {1010, "51", "15"},     {1010, "7.5", "15"},   {1012, "nan", "1."},
               {1020, "7", "3"},       {1020, "-1", "3"},     {1020, "2.5", "3"}};
  for (const auto &c : cases) {
    ui.messages.clear();
    edit(d, c.id)->setFocus();
    typeInto(d, c.id, c.text);
    enter(d, c.id);
    ASSERT_EQ(ui.messages.size(), 1u) << c.id << " " << c.text;
    EXPECT_EQ(QApplication::focusWidget(), edit(d, c.id)) << c.id << " " << c.text;
    EXPECT_TRUE(view->display.upperTolerance == 0.25 && view->display.colourBars == 15 &&
                node->display.colourBars == 15 && view->display.decimalPlaces == 3 &&
                view->display.magnification == 1.0);
    typeInto(d, c.id, c.good);
  }
  // The limits are taken; leaving a field applies it, and Close keeps what was applied.
  typeInto(d, 1010, "50");
  typeInto(d, 1020, "0");
  typeInto(d, 1008, "0.1");
  QTest::keyClick(edit(d, 1008), Qt::Key_Tab);
  EXPECT_EQ(view->display.colourBars, 50);
  EXPECT_EQ(view->display.decimalPlaces, 0);
  EXPECT_DOUBLE_EQ(node->display.upperTolerance, double(0.1f));
  d->close();
  EXPECT_DOUBLE_EQ(view->display.upperTolerance, 0.1);
}

TEST_F(SettingsDialogTest, ReopenedItShowsEverySettingAndTheFilterActsOnTheFirstClick) {
  GLPointCloud *node = load();
  SettingsDialog *d = open();
  for (int id : {1018, 1011, 1028, 1022, 1021})
    click(d, id);
  typeInto(d, 1010, "20");
  typeInto(d, 1020, "2");
  enter(d, 1010);
  d->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  d = open();
  for (int id : {1018, 1011, 1028, 1022, 1021})
    EXPECT_TRUE(qobject_cast<QAbstractButton *>(d->control(id))->isChecked()) << id;
  EXPECT_EQ(edit(d, 1010)->text(), "20");
  EXPECT_EQ(edit(d, 1020)->text(), "2");
  click(d, 1021); // off again at once
  EXPECT_EQ(code(view->display.pointFilter), 0);
  EXPECT_EQ(code(node->display.pointFilter), 0);
  // Asked again while it is open, the same dialog comes forward.
  view->onTolerance();
  EXPECT_EQ(view->settingsDialog.data(), d);
  d->close();
}

TEST_F(SettingsDialogTest, UpperToleranceMirrorsIntoTheHiddenLowerFieldAndTheBand) {
  GLPointCloud *node = load();
  SettingsDialog *d = open();
  typeInto(d, 1008, "0.1");
  EXPECT_EQ(edit(d, 1009)->text(), "-0.1");
  enter(d, 1008);
  EXPECT_DOUBLE_EQ(view->display.upperTolerance, 0.1);
  EXPECT_DOUBLE_EQ(view->display.lowerTolerance, -0.1);
  EXPECT_DOUBLE_EQ(node->display.upperTolerance, double(0.1f)); // rounded through float
  EXPECT_DOUBLE_EQ(node->display.lowerTolerance, double(-0.1f));
  ASSERT_NE(view->scene().legend(), nullptr);
  EXPECT_FLOAT_EQ(view->scene().legend()->upper, 0.1f);
  EXPECT_FLOAT_EQ(view->scene().legend()->lower, -0.1f);
  // An empty field mirrors as 0, not -0.
  typeInto(d, 1008, "");
  EXPECT_EQ(edit(d, 1009)->text(), "0");
  d->close();
}

TEST_F(SettingsDialogTest, MagnificationAndDecimalPlacesApplyOnEnter) {
  GLPointCloud *node = load(true);
  SettingsDialog *d = open();
  typeInto(d, 1012, "25");
  typeInto(d, 1020, "2");
  enter(d, 1012);
  EXPECT_EQ(view->display.magnification, 25.0);
  EXPECT_EQ(node->display.magnification, 25.0f);
  EXPECT_EQ(edit(d, 1012)->text(), "25");
  EXPECT_EQ(view->display.decimalPlaces, 2);
  d->close();
}

TEST_F(SettingsDialogTest, GradientExtendedAndBannerLineRadiosReachNodeAndProgram) {
  GLPointCloud *node = load();
  SettingsDialog *d = open();
  click(d, 1011);
  EXPECT_TRUE(node->display.gradient);
  paint();
  EXPECT_TRUE(view->scene().legend()->gradient); // the frame's legend takes the flag
  click(d, 1013);
  EXPECT_FALSE(node->display.gradient);
  click(d, 1022);
  EXPECT_TRUE(node->display.extendedColours);
  EXPECT_TRUE(view->scene().legend()->extended);
  click(d, 1022);
  EXPECT_FALSE(node->display.extendedColours);
  click(d, 1028);
  EXPECT_EQ(code(view->display.bannerLineColour), 2);
  click(d, 1029);
  EXPECT_EQ(code(view->display.bannerLineColour), 3);
  click(d, 1027);
  EXPECT_EQ(code(view->display.bannerLineColour), 1);
  // The banners' own colour has its radio button, and the record keeps it.
  click(d, 1030);
  EXPECT_EQ(view->display.bannerLineColour, BannerLineColour::Own);
  Annotations saved;
  saved.display = displaySettingsOf(*view, node);
  const AnnotationsReadResult read = parseAnnotations(annotationsJson(saved), "own.json");
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.annotations.display.bannerLineColour, BannerLineColour::Own);
  click(d, 1028);
  applyDisplaySettings(read.annotations.display, *view, view->scene());
  d->loadFromView();
  EXPECT_TRUE(qobject_cast<QRadioButton *>(d->control(1030))->isChecked());
  d->close();
}

TEST_F(SettingsDialogTest, ShowPercentagesWritesBesideTheLegendOnly) {
  load();
  SettingsDialog *d = open();
  auto *box = qobject_cast<QCheckBox *>(d->control(SettingsDialog::kShowPercentagesId));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Show percentages");
  EXPECT_FALSE(box->isChecked());
  const QImage off = view->grabFramebuffer();
  click(d, SettingsDialog::kShowPercentagesId);
  EXPECT_TRUE(view->display.showPercentages);
  EXPECT_TRUE(displaySettingsOf(*view, view->pointCloud()).showPercentages); // the record's
  const QImage on = view->grabFramebuffer();
  // Text left of the labels (the shares, and "< -0.250" / "> +0.250" beside the outer two),
  // nothing else changed; off again gives the same frame as before.
  int changed = 0, bounds = 0;
  for (int y = 0; y < on.height(); ++y)
    for (int x = 0; x < on.width(); ++x)
      if (on.pixel(x, y) != off.pixel(x, y)) {
        ASSERT_TRUE(x >= 700 && x < 826) << x << "," << y;
        ++changed;
        bounds += x < 770;
      }
  EXPECT_GT(changed, 100);
  EXPECT_GT(bounds, 20);
  EXPECT_EQ(LegendNode::boundText(true, 0.25, 3), "> +0.250");
  EXPECT_EQ(LegendNode::boundText(false, -0.26, 1), "< -0.3");
  click(d, SettingsDialog::kShowPercentagesId);
  EXPECT_EQ(view->grabFramebuffer(), off);
  d->close();
}

TEST_F(SettingsDialogTest, EnterWithoutAModelOnlyCloses) {
  SettingsDialog *d = open();
  typeInto(d, 1008, "0.5");
  typeInto(d, 1010, "7");
  enter(d, 1008);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(view->display.upperTolerance, 0.25);
  EXPECT_EQ(view->display.colourBars, 15);
}

TEST_F(SettingsDialogTest, PointButtonsAndFilterDoNothingWithoutAModel) {
  SettingsDialog *d = open();
  click(d, 1017);
  click(d, 1021);
  EXPECT_EQ(code(view->display.displayMode), 4);
  EXPECT_EQ(code(view->display.pointSize), 0);
  EXPECT_EQ(code(view->display.pointFilter), 0);
  d->close();
}

VELMORA_GUI_TEST_MAIN()
