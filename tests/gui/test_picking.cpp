// Picking in the real window: hover, banner clicks, banner selection and dragging, Delete,
// comments through the Add a Comment command, the distance tool, worst-point callouts and the
// undo history.
#include "GuiTestMain.h"

#include "analysis/BackgroundPointIndex.h"
#include "analysis/ColourScale.h"
#include "analysis/WorstPoints.h"
#include "document/Document.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/BackgroundWork.h"
#include "view/BannerNode.h"
#include "view/CommentDialog.h"
#include "view/CommentNode.h"
#include "view/DistanceNode.h"
#include "view/LoadStep.h"
#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/PointLookup.h"
#include "view/UiServices.h"
#include "view/ViewFixture.h"
#include "view/ViewScene.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// An 11 x 11 grid of points 1 mm apart at z = 0, triangulated, with deviation
// (i - 5) * 0.125 along x: column 9 has 0.5, column 7 0.25.
constexpr int kN = 11;
int idx(int i, int j) { return j * kN + i; }
float devOf(int i) { return float(i - 5) * 0.125f; }

std::unique_ptr<SessionModel> gridModel(float pitch = 1) {
  auto m = std::make_unique<SessionModel>();
  m->pointCount = kN * kN;
  m->points.allocate(kN * kN);
  m->normals.allocate(kN * kN);
  m->deviations.allocate(kN * kN);
  for (int j = 0; j < kN; ++j)
    for (int i = 0; i < kN; ++i) {
      m->points[idx(i, j)] = Vec3f{pitch * float(i), pitch * float(j), 0};
      m->normals[idx(i, j)] = Vec3f{0, 0, 1};
      m->deviations[idx(i, j)] = devOf(i);
    }
  const int t = 2 * (kN - 1) * (kN - 1);
  m->triangleCount = t;
  m->triangles.allocate(t);
  int k = 0;
  for (int j = 0; j + 1 < kN; ++j)
    for (int i = 0; i + 1 < kN; ++i) {
      const int a = idx(i, j);
      m->triangles[k++] = {a, a + 1, a + kN + 1};
      m->triangles[k++] = {a, a + kN + 1, a + kN};
    }
  return m;
}

// Records message boxes instead of showing them.
struct FakeUi : UiServices {
  QStringList messages;
  void message(QWidget *, const QString &text, const QString &, Icon) override { messages << text; }
};

class PickingTest : public ::testing::Test {
protected:
  void SetUp() override {
    view = std::make_unique<ModelView>();
    QObject::connect(view.get(), &QOpenGLWidget::frameSwapped, [this] { ++frames; });
    view->resize(900, 600);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->makeCurrent();
    cloud = runLoadStep(*view, view->scene(), gridModel(), true).node;
    view->doneCurrent();
    ASSERT_NE(cloud, nullptr);
    paint();
  }
  void TearDown() override {
    view.reset();
    UiServices::setInstance(nullptr);
    CommentDialog::setFactory(nullptr);
  }

  // Picking reads the matrices and depth buffer of the last frame: wait until the window has
  // drawn and swapped a new one.
  void paint() {
    const int before = frames;
    view->update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames > before; }, 5000));
  }

  // Window pixel (y down) of a world point in the last frame.
  QPoint pixelOf(const Vec3d &p) {
    const QPointF at = windowPositionOf(*view, p);
    return {int(std::lround(at.x())), int(std::lround(at.y()))};
  }
  QPoint pixelOfPoint(int i, int j, double pitch = 1) { return pixelOf({pitch * i, pitch * j, 0}); }
  // Shows another model instead of the grid.
  void reload(std::unique_ptr<SessionModel> model) {
    view->makeCurrent();
    view->scene().clearModels();
    cloud = runLoadStep(*view, view->scene(), std::move(model), true).node;
    view->doneCurrent();
    paint();
  }
  // A spot inside a banner's box.
  QPoint boxOf(const BannerNode *b) { return pixelOf(b->labelAnchor) + QPoint(12, 0); }

  void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(at), view->mapToGlobal(QPointF(at)), button, held, mods);
    QCoreApplication::sendEvent(view.get(), &e);
  }
  void press(QPoint at) { mouse(QEvent::MouseButtonPress, at, Qt::LeftButton); }
  void release(QPoint at) { mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton); }
  void move(QPoint at, Qt::MouseButton held = Qt::NoButton) { mouse(QEvent::MouseMove, at, held); }
  void click(QPoint at) {
    press(at);
    release(at);
    paint();
  }
  void key(QEvent::Type type, int k) {
    QKeyEvent e(type, k, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &e);
  }

  std::vector<BannerNode *> banners() {
    std::vector<BannerNode *> out;
    view->scene().banners.forEach(
        [&](SceneNode *n) { out.push_back(dynamic_cast<BannerNode *>(n)); });
    return out;
  }
  std::vector<CommentNode *> comments() {
    std::vector<CommentNode *> out;
    view->scene().comments.forEach(
        [&](SceneNode *n) { out.push_back(dynamic_cast<CommentNode *>(n)); });
    return out;
  }

  // Runs Add a Comment, filling the dialog once it is up.
  void addComment(const QString &text, const QString &size, const QString &angle, bool fill,
                  bool ok = true) {
    QTimer::singleShot(0, [&, text, size, angle, fill, ok] {
      auto *dlg = qobject_cast<CommentDialog *>(view->commentDialog.data());
      ASSERT_NE(dlg, nullptr);
      dlg->findChild<QPlainTextEdit *>("1000")->setPlainText(text);
      dlg->findChild<QLineEdit *>("1001")->setText(size);
      dlg->findChild<QLineEdit *>("1018")->setText(angle);
      dlg->findChild<QCheckBox *>("1002")->setChecked(fill);
      dlg->findChild<QPushButton *>(ok ? "1" : "2")->click();
    });
    view->onAddComment();
    paint();
  }

  std::unique_ptr<ModelView> view;
  GLPointCloud *cloud = nullptr;
  int frames = 0;
};

TEST_F(PickingTest, HoverFindsThePointUnderTheCursor) {
  move(pixelOfPoint(3, 7));
  EXPECT_EQ(view->hoveredPoint, idx(3, 7));
  move(pixelOfPoint(8, 2) + QPoint(3, -2)); // a few pixels off still picks the nearest point
  EXPECT_EQ(view->hoveredPoint, idx(8, 2));
  move(QPoint(5, 5)); // background
  EXPECT_EQ(view->hoveredPoint, -1);
  view->showModel = false;
  move(pixelOfPoint(3, 7));
  EXPECT_EQ(view->hoveredPoint, -1);
}

TEST_F(PickingTest, ClickOnAPointPinsABannerWithItsDeviation) {
  click(pixelOfPoint(9, 4));
  auto bs = banners();
  ASSERT_EQ(bs.size(), 1u);
  EXPECT_EQ(bs[0]->lines().at(0), "0.500");
  EXPECT_EQ(bs[0]->point, (Vec3d{9, 4, 0}));
  const Colour want = ColourScale(0.25f, -0.25f, 15, 0, false, false).colourFor(0.5f);
  EXPECT_DOUBLE_EQ(bs[0]->red(), want.r);
  EXPECT_DOUBLE_EQ(bs[0]->green(), want.g);
  EXPECT_DOUBLE_EQ(bs[0]->blue(), want.b);
  // The box hangs 150 world pixels right of and above the point (unturned view).
  const double k150 = 150 * view->worldUnitsPerPixel();
  EXPECT_NEAR(bs[0]->labelAnchor.x, 9 + k150, 1e-9);
  EXPECT_NEAR(bs[0]->labelAnchor.y, 4 + k150, 1e-9);
  EXPECT_NEAR(bs[0]->labelAnchor.z, 0, 1e-9);

  view->display.decimalPlaces = 0;
  click(pixelOfPoint(9, 6));
  bs = banners();
  ASSERT_EQ(bs.size(), 2u);
  EXPECT_EQ(bs[1]->lines().at(0), "1"); // 0.5 rounded
  view->display.decimalPlaces = 3;
  click(pixelOfPoint(2, 5));
  ASSERT_EQ(banners().size(), 3u);
  EXPECT_EQ(banners()[2]->lines().at(0), "-0.375");
}

TEST_F(PickingTest, NoBannerOffByAPixelBetweenPointsOrOffTheModel) {
  const QPoint p = pixelOfPoint(4, 4);
  press(p);
  release(p + QPoint(1, 0));
  paint();
  EXPECT_TRUE(banners().empty());
  click(pixelOf({4.5, 4.5, 0})); // 1.0 (L1) from the nearest point
  EXPECT_TRUE(banners().empty());
  click(QPoint(5, 5));
  EXPECT_TRUE(banners().empty());
  click(p);
  EXPECT_EQ(banners().size(), 1u);
}

TEST_F(PickingTest, ClicksOnACoarseMeshSnapToCornersWithinEightPixels) {
  // Points 100 mm apart, about 40 pixels: 0.5 mm is a fifth of a pixel.
  reload(gridModel(100));
  const QPoint corner = pixelOfPoint(4, 6, 100);
  click(corner + QPoint(12, 0)); // on the mesh, 12 pixels from the corner
  EXPECT_TRUE(banners().empty());
  click(corner + QPoint(6, -3));
  ASSERT_EQ(banners().size(), 1u);
  EXPECT_EQ(banners()[0]->point, (Vec3d{400, 600, 0}));
  // Off the mesh's edge, within 8 pixels of the outer corner, too.
  click(pixelOfPoint(10, 10, 100) + QPoint(5, -4));
  ASSERT_EQ(banners().size(), 2u);
  EXPECT_EQ(banners()[1]->point, (Vec3d{1000, 1000, 0}));
}

TEST_F(PickingTest, HoverOverTheBackgroundBetweenShownPointsSnaps) {
  view->display.displayMode = DisplayMode::Points;
  view->display.pointSize = PointSize::S;
  view->scene().applySettings(*view);
  paint();
  const QPoint p = pixelOfPoint(3, 7);
  move(p + QPoint(5, 4)); // the background between the points
  EXPECT_EQ(view->hoveredPoint, idx(3, 7));
  move(p + QPoint(0, 9));
  EXPECT_EQ(view->hoveredPoint, -1);
  click(p + QPoint(-4, 6));
  ASSERT_EQ(banners().size(), 1u);
  EXPECT_EQ(banners()[0]->point, (Vec3d{3, 7, 0}));
}

TEST_F(PickingTest, BoxClicksSelectAndCtrlAdds) {
  click(pixelOfPoint(2, 2));
  click(pixelOfPoint(6, 1));
  auto bs = banners();
  ASSERT_EQ(bs.size(), 2u);
  EXPECT_FALSE(bs[0]->isSelected());
  EXPECT_FALSE(bs[1]->isSelected());
  // The boxes must not overlap for this test.
  ASSERT_FALSE(bs[1]->hitTest(boxOf(bs[0]).x(), boxOf(bs[0]).y()));

  click(boxOf(bs[0]));
  EXPECT_TRUE(bs[0]->isSelected());
  EXPECT_FALSE(bs[1]->isSelected());
  EXPECT_EQ(banners().size(), 2u); // a press on a box creates nothing

  key(QEvent::KeyPress, Qt::Key_Control);
  click(boxOf(bs[1]));
  key(QEvent::KeyRelease, Qt::Key_Control);
  EXPECT_TRUE(bs[0]->isSelected());
  EXPECT_TRUE(bs[1]->isSelected());
  EXPECT_EQ(picking::singleSelectedBanner(view->scene().banners), nullptr);

  click(boxOf(bs[1]));
  EXPECT_FALSE(bs[0]->isSelected());
  EXPECT_TRUE(bs[1]->isSelected());
  EXPECT_EQ(picking::singleSelectedBanner(view->scene().banners), bs[1]);

  // A click on the model deselects all and pins a new, unselected banner.
  click(pixelOfPoint(8, 8));
  for (auto *b : banners())
    EXPECT_FALSE(b->isSelected());
}

TEST_F(PickingTest, DraggingMovesTheSelectedLabelsByTheFormula) {
  click(pixelOfPoint(3, 3));
  click(pixelOfPoint(7, 2));
  auto bs = banners();
  ASSERT_EQ(bs.size(), 2u);
  const QPoint start = boxOf(bs[0]);
  const Vec3d before0 = bs[0]->labelAnchor, before1 = bs[1]->labelAnchor;
  const Vec3d point0 = bs[0]->point;
  const double k = view->worldUnitsPerPixel();
  press(start);
  EXPECT_TRUE(bs[0]->isSelected());
  move(start + QPoint(20, 10), Qt::LeftButton); // 20 right, 10 down
  release(start + QPoint(20, 10));
  paint();
  // dx = -20, dy = -10: anchor += r * (-1.55 k dx) + u * (1.55 k dy), r = x, u = y unturned.
  EXPECT_NEAR(bs[0]->labelAnchor.x - before0.x, 1.55 * k * 20, 1e-9);
  EXPECT_NEAR(bs[0]->labelAnchor.y - before0.y, -1.55 * k * 10, 1e-9);
  EXPECT_NEAR(bs[0]->labelAnchor.z, before0.z, 1e-9);
  EXPECT_EQ(bs[0]->point, point0);
  EXPECT_EQ(bs[1]->labelAnchor, before1);
  EXPECT_EQ(banners().size(), 2u);
  EXPECT_EQ(view->panX, 0); // the drag moved the label, not the camera
}

// The grid with every point repeated (same picture, same answers: the first copy wins
// ties), so that its index takes a while and is built in the background.
std::unique_ptr<SessionModel> repeatedGrid(int copies) {
  auto grid = gridModel();
  auto m = std::make_unique<SessionModel>();
  const std::size_t n = std::size_t(kN * kN) * std::size_t(copies);
  m->pointCount = int(n);
  m->points.allocate(n);
  m->normals.allocate(n);
  m->deviations.allocate(n);
  for (std::size_t i = 0; i < n; ++i) {
    m->points[i] = grid->points[i % (kN * kN)];
    m->normals[i] = grid->normals[i % (kN * kN)];
    m->deviations[i] = grid->deviations[i % (kN * kN)];
  }
  m->triangleCount = grid->triangleCount;
  m->triangles = std::move(grid->triangles);
  return m;
}

TEST_F(PickingTest, LargeModelIsIndexedInTheBackgroundAndAnEarlyClickIsPlacedOnceReady) {
  std::vector<std::string> statuses;
  view->scene().showStatus = [&](const char *t) { statuses.emplace_back(t); };
  reload(repeatedGrid(10000)); // 1.21 million points
  ASSERT_TRUE(QTest::qWaitFor([&] { return !cloud->uploadPending(); }, 30000));
  paint();
  // Shown, not yet indexed: the index waits for the pointer (here the click) to need it.
  EXPECT_FALSE(cloud->model()->pointIndex);
  // Beside the model's edge only the on-screen snap can tell the point: the click waits.
  click(pixelOfPoint(10, 5) + QPoint(4, 0));
  const bool waited = view->pointLookup().clickPending();
  EXPECT_TRUE(waited || banners().size() == 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return banners().size() == 1; }, 30000));
  EXPECT_EQ(banners()[0]->point, (Vec3d{10, 5, 0}));
  EXPECT_NE(picking::sharedLookup(*cloud->model()).builtOn(), std::this_thread::get_id());
  if (waited) {
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front().rfind("Preparing point lookup... ", 0), 0u) << statuses.front();
    EXPECT_EQ(statuses.back(), "Ready");
  }
  move(pixelOfPoint(3, 7));
  EXPECT_EQ(view->hoveredPoint, idx(3, 7));
  // Another large model, and the window closed while its index is being built.
  reload(repeatedGrid(10000));
  view.reset();
}

TEST_F(PickingTest, DeleteRemovesOnlySelectedNodes) {
  click(pixelOfPoint(2, 2));
  click(pixelOfPoint(6, 1));
  auto bs = banners();
  ASSERT_EQ(bs.size(), 2u);
  addComment("keep", "20", "0", false);
  addComment("drop", "20", "0", false);
  auto cs = comments();
  ASSERT_EQ(cs.size(), 2u);
  cs[1]->moveTo({400, 100, 0});
  paint();
  click(boxOf(bs[1]));
  // A press on the second comment selects it (y down: 600 - 100 - 10). With Ctrl held the
  // missed banners keep their selection, and releasing elsewhere pins no banner (which would
  // clear it).
  key(QEvent::KeyPress, Qt::Key_Control);
  press(QPoint(410, 490));
  move(QPoint(411, 490), Qt::LeftButton);
  release(QPoint(411, 490));
  key(QEvent::KeyRelease, Qt::Key_Control);
  paint();
  ASSERT_TRUE(cs[1]->isSelected());
  ASSERT_FALSE(cs[0]->isSelected());
  ASSERT_TRUE(bs[1]->isSelected());
  ASSERT_FALSE(bs[0]->isSelected());

  key(QEvent::KeyPress, Qt::Key_Delete);
  auto left = banners();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0], bs[0]);
  auto leftComments = comments();
  ASSERT_EQ(leftComments.size(), 1u);
  EXPECT_EQ(leftComments[0], cs[0]);
  // Nothing selected: Delete changes nothing.
  key(QEvent::KeyPress, Qt::Key_Delete);
  EXPECT_EQ(banners().size(), 1u);
  EXPECT_EQ(comments().size(), 1u);
}

TEST_F(PickingTest, AddACommentClampsAndPlacesIt) {
  addComment("Note 100%", "5", "120", true);
  auto cs = comments();
  ASSERT_EQ(cs.size(), 1u);
  EXPECT_EQ(cs[0]->lines().at(0), "Note 100%");
  EXPECT_EQ(cs[0]->size(), 10);
  EXPECT_EQ(cs[0]->angle(), 90);
  EXPECT_TRUE(cs[0]->fill);
  EXPECT_FALSE(cs[0]->isSelected());
  EXPECT_EQ(cs[0]->position, (Vec3d{100, 400, 0}));
  EXPECT_EQ(cs[0]->fontSelector, 2);

  addComment("ignored", "20", "0", false, false); // Cancel
  EXPECT_EQ(comments().size(), 1u);
  addComment("junk numbers", "abc", "", false);
  ASSERT_EQ(comments().size(), 2u);
  EXPECT_EQ(comments()[1]->size(), 10);
  EXPECT_EQ(comments()[1]->angle(), 0);
}

TEST_F(PickingTest, CommentDialogFailureIsReported) {
  FakeUi ui;
  UiServices::setInstance(&ui);
  CommentDialog::setFactory([](QWidget *) -> CommentDialog * { return nullptr; });
  view->onAddComment();
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_EQ(ui.messages[0], "Dialog box could not be created!");
  EXPECT_TRUE(comments().empty());
}

TEST_F(PickingTest, DraggingAComment) {
  addComment("Drag me", "20", "0", false);
  CommentNode *c = comments().at(0);
  // (100, 400) from the bottom is row 200 from the top; press inside the text.
  const QPoint start(110, 190);
  press(start);
  EXPECT_EQ(view->draggedComment, c);
  EXPECT_TRUE(c->isSelected());
  move(start + QPoint(20, -10), Qt::LeftButton);
  release(start + QPoint(20, -10));
  paint();
  EXPECT_EQ(c->position, (Vec3d{120, 410, 0}));
  EXPECT_EQ(view->draggedComment, nullptr);
  EXPECT_TRUE(banners().empty()); // the press hit the comment but the release moved
  EXPECT_EQ(view->panX, 0);
  // A press elsewhere deselects it.
  click(QPoint(700, 50));
  EXPECT_FALSE(c->isSelected());
}

TEST_F(PickingTest, ScreenshotWithBannersAndAComment) {
  click(pixelOfPoint(9, 4));
  click(pixelOfPoint(1, 8));
  click(boxOf(banners()[0]));
  addComment("Inspection 42% done", "24", "15", true);
  move(pixelOfPoint(5, 5));
  paint();
  const QImage img = view->grabFramebuffer();
  ASSERT_FALSE(img.isNull());
  img.save(VELMORA_BINARY_DIR "/test_picking_screenshot.png");
  // The comment's text shows on its fill, in this window as in the first one the program
  // opened (the outline glyphs are built once, in the first window's context).
  int ink = 0, fill = 0;
  for (int y = 90; y < 210; ++y)
    for (int x = 90; x < 400; ++x) {
      const QColor c = img.pixelColor(x, y);
      ink += (c.red() < 90 && c.green() < 90 && c.blue() < 90) ? 1 : 0;
      fill += (c.red() > 250 && c.green() > 250 && std::abs(c.blue() - 230) < 3) ? 1 : 0;
    }
  EXPECT_GT(fill, 1000);
  EXPECT_GT(ink, 200);
  // The hover panel prints the point at the top left in its deviation colour: something is
  // drawn where the background alone would be a smooth gradient.
  const QColor bg = img.pixelColor(400, 30);
  int differing = 0;
  for (int y = 30; y < 110; ++y)
    for (int x = 160; x < 260; ++x)
      differing += img.pixelColor(x, y) != img.pixelColor(x, 5) ? 1 : 0;
  EXPECT_GT(differing, 50) << bg.name().toStdString();
}

TEST_F(PickingTest, DistanceToolTakesPointsShownWithinEightPixels) {
  reload(gridModel(100)); // corners about 40 pixels apart
  QStringList status;
  QObject::connect(view.get(), &ModelView::statusMessage, [&](const QString &t) { status << t; });
  // The corner's exact window position (y up) and the pixels whose centres lie just inside
  // and just outside 8 pixels to its right, on its row.
  view->makeCurrent();
  GLdouble mv[16], pr[16], wx = 0, wy = 0, wz = 0;
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  view->doneCurrent();
  gluProject(400, 600, 0, mv, pr, vp, &wx, &wy, &wz);
  const int row = int(std::lround(vp[3] - 0.5 - wy));
  const auto screenDistance = [&](int x) {
    return std::hypot(x + 0.5 - wx, vp[3] - row - 0.5 - wy);
  };
  int inside = int(std::floor(wx));
  while (screenDistance(inside + 1) <= 8)
    ++inside;
  ASSERT_GT(screenDistance(inside + 1), 8.0);

  view->startMeasureDistance();
  EXPECT_TRUE(view->isMeasuring());
  click(QPoint(inside + 1, row));
  EXPECT_EQ(status.last(), "No measured point within 8 pixels of the click");
  click(QPoint(inside, row));
  click(pixelOfPoint(8, 2, 100));
  EXPECT_FALSE(view->isMeasuring());
  EXPECT_TRUE(banners().empty());
  auto *d = dynamic_cast<DistanceNode *>(view->scene().distances.head());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->firstIndex, idx(4, 6));
  EXPECT_EQ(d->secondIndex, idx(8, 2));
  EXPECT_EQ(d->lines(),
            (std::vector<std::string>{"dX: 400.000", "dY: -400.000", "dZ: 0.000", "|d|: 565.685",
                                      "Dev 1: -0.125", "Dev 2: 0.375"}));
  EXPECT_EQ(status.last(), "Distance 565.685 mm");
  // Its box selects and drags like a banner's.
  const QPoint box = boxOf(d);
  const Vec3d before = d->labelAnchor;
  press(box);
  move(box + QPoint(0, 15), Qt::LeftButton);
  release(box + QPoint(0, 15));
  EXPECT_TRUE(d->isSelected());
  EXPECT_LT(d->labelAnchor.y, before.y);
  // Escape leaves the mode before the second point.
  view->startMeasureDistance();
  click(pixelOfPoint(1, 1, 100));
  key(QEvent::KeyPress, Qt::Key_Escape);
  EXPECT_FALSE(view->isMeasuring());
}

TEST_F(PickingTest, UndoAndRedoTakeBackAddingMovingAndDeletingInTheDocument) {
  const Document &doc = view->document();
  click(pixelOfPoint(3, 3));
  addComment("note", "20", "0", false);
  ASSERT_EQ(banners().size(), 1u);
  ASSERT_EQ(doc.banners().size(), 1u);
  ASSERT_EQ(doc.comments().size(), 1u);
  EXPECT_EQ(doc.comments()[0].text, "note");
  const BannerRecord pinned = doc.banners()[0];
  BannerNode *b = banners()[0];
  const Vec3d placed = b->labelAnchor;
  const QPoint start = boxOf(b);
  press(start);
  move(start + QPoint(30, 0), Qt::LeftButton);
  release(start + QPoint(30, 0));
  const Vec3d moved = b->labelAnchor;
  ASSERT_FALSE(moved == placed);
  // The drag's end moved the record.
  EXPECT_FALSE(doc.banners()[0].boxOffset == pinned.boxOffset);
  key(QEvent::KeyPress, Qt::Key_Delete); // the press selected it
  EXPECT_TRUE(banners().empty());
  EXPECT_TRUE(doc.banners().empty());
  QUndoStack *undo = view->undoStack();
  ASSERT_EQ(undo->count(), 4); // banner, comment, move, delete
  // Each step edits the document; the scene draws what it holds.
  undo->undo();
  ASSERT_EQ(banners().size(), 1u);
  EXPECT_EQ(banners()[0]->labelAnchor, moved);
  undo->undo();
  EXPECT_EQ(doc.banners()[0], pinned);
  EXPECT_EQ(banners()[0]->labelAnchor, placed);
  undo->undo();
  EXPECT_TRUE(comments().empty());
  EXPECT_TRUE(doc.comments().empty());
  undo->undo();
  EXPECT_TRUE(banners().empty());
  EXPECT_FALSE(doc.hasUnsavedChanges());
  for (int i = 0; i < 3; ++i)
    undo->redo();
  ASSERT_EQ(banners().size(), 1u);
  EXPECT_EQ(banners()[0]->labelAnchor, moved);
  EXPECT_EQ(banners()[0]->pointIndex, pinned.point);
  EXPECT_EQ(comments().size(), 1u);
  undo->redo();
  EXPECT_TRUE(banners().empty());
  EXPECT_TRUE(doc.banners().empty());
}

TEST_F(PickingTest, WorstPointsGetBannersInOneStep) {
  // Columns 0 and 10 lie 0.625 outside; the lower index wins each tie.
  EXPECT_EQ(view->calloutWorstPoints(3, 0), 3);
  std::vector<int> pinned;
  for (auto *b : banners())
    pinned.push_back(b->pointIndex);
  EXPECT_EQ(pinned, (std::vector<int>{0, 10, 11}));
  // Each label leads with its id in list order, as the callout table numbers them.
  for (std::size_t i = 0; i < banners().size(); ++i)
    EXPECT_EQ(banners()[i]->shownLine(0).rfind("B" + std::to_string(i + 1) + " ", 0), 0u);
  // Points 10 and 11 are neighbours: their labels are spread apart (unturned: x right, y up).
  const double px = view->pixelSize();
  for (auto *a : banners())
    for (auto *b : banners())
      EXPECT_TRUE(a == b || std::abs(a->labelAnchor.x - b->labelAnchor.x) >= a->labelWidth() * px ||
                  std::abs(a->labelAnchor.y - b->labelAnchor.y) >= 2 * a->labelHalfHeight() * px);
  view->undoStack()->undo();
  EXPECT_TRUE(banners().empty());
  EXPECT_EQ(view->calloutWorstPoints(3, 100), 1); // all within 100 mm of the first
  view->undoStack()->undo();
  // A hundred asked: every point outside the band, labels packed 1 mm apart, all apart.
  WorstPointsRequest all;
  all.count = 100;
  all.lower = view->display.lowerTolerance;
  all.upper = view->display.upperTolerance;
  const int outside = int(worstPoints(*cloud->model(), all).size());
  EXPECT_GT(outside, 50);
  EXPECT_EQ(view->calloutWorstPoints(100, 0), outside);
  // More labels than one column holds wrap into further columns inside the view.
  for (auto *b : banners()) {
    const QPointF at = windowPositionOf(*view, b->labelAnchor);
    EXPECT_TRUE(at.x() >= 0 && at.x() <= view->width() && at.y() >= 0 && at.y() <= view->height())
        << at.x() << ", " << at.y();
  }
  for (auto *a : banners())
    for (auto *b : banners())
      EXPECT_TRUE(a == b || std::abs(a->labelAnchor.x - b->labelAnchor.x) >= a->labelWidth() * px ||
                  std::abs(a->labelAnchor.y - b->labelAnchor.y) >= 2 * a->labelHalfHeight() * px);
}

TEST_F(PickingTest, HoverAndClickAgreeAndAClickThatPinsNothingSaysWhy) {
  QStringList said;
  QObject::connect(view.get(), &ModelView::statusMessage, [&](const QString &t) { said << t; });
  int pinned = 0, missed = 0;
  for (const QPoint at : {pixelOfPoint(3, 7), pixelOfPoint(6, 2) + QPoint(5, -4),
                          pixelOf({4.5, 4.5, 0}), pixelOf({4.2, 4.0, 0}), QPoint(5, 5)}) {
    move(at);
    const int hovered = view->hoveredPoint;
    const std::size_t before = banners().size();
    said.clear();
    click(at);
    if (hovered >= 0) {
      ++pinned;
      ASSERT_EQ(banners().size(), before + 1);
      EXPECT_EQ(banners().back()->pointIndex, hovered);
    } else {
      ++missed;
      EXPECT_EQ(banners().size(), before);
      ASSERT_FALSE(said.isEmpty());
      EXPECT_TRUE(said.back().startsWith("No banner pinned: no measured point within 8 pixels"))
          << said.back().toStdString();
    }
  }
  EXPECT_EQ(pinned, 3);
  EXPECT_EQ(missed, 2);
  // While a large model uploads, its stand-in is neither hovered nor pinned, and the click
  // says why.
  reload(repeatedGrid(10000));
  ASSERT_TRUE(cloud->uploadPending());
  const std::size_t before = banners().size();
  move(pixelOfPoint(3, 7));
  EXPECT_EQ(view->hoveredPoint, -1);
  said.clear();
  click(pixelOfPoint(3, 7));
  EXPECT_EQ(banners().size(), before);
  ASSERT_FALSE(said.isEmpty());
  EXPECT_EQ(said.front(), "No banner pinned: picking is ready when the model is loaded");
}

TEST_F(PickingTest, LongStepsShowCancelAndACancelledWriteLeavesTheFileAlone) {
  QTemporaryDir dir;
  const std::string target = dir.filePath("out.wrl").toStdString();
  const auto contents = [](const std::string &path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("(none)");
  };
  const auto writeText = [](const std::string &path, const char *text) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly) && f.write(text) > 0;
  };
  ASSERT_TRUE(writeText(target, "old"));
  std::atomic<bool> letGo{false};
  bool stripShown = false;
  // The progress line shows after a moment; Escape cancels, then the work may end.
  QTimer::singleShot(600, [&] {
    auto *strip = view->findChild<QWidget *>("backgroundWork");
    stripShown = strip && strip->isVisible() && strip->findChild<QPushButton *>();
    key(QEvent::KeyPress, Qt::Key_Escape);
    letGo = true;
  });
  const auto slowWrite = [&](const std::string &path) {
    writeText(path, "new");
    while (!letGo)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return ExportResult::success();
  };
  bool cancelled = false;
  ExportResult r = writeInBackground(view.get(), "Writing", target, {}, slowWrite, cancelled);
  EXPECT_TRUE(stripShown);
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
  // Not cancelled: the finished file replaces the old one and nothing else is left.
  letGo = true;
  r = writeInBackground(view.get(), "Writing", target, {}, slowWrite, cancelled);
  EXPECT_FALSE(cancelled);
  EXPECT_TRUE(r.ok) << r.message;
  EXPECT_EQ(contents(target), "new");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

} // namespace

VELMORA_GUI_TEST_MAIN()
