// Mouse, wheel and keyboard rules of the 3D view, driven through real events.
#include "ViewFixture.h"
#include "gui/GuiTestMain.h"

#include "document/Document.h"
#include "scene/ScaleNode.h"
#include "view/BannerNode.h"
#include "view/SceneSync.h"

#include <QImage>
#include <QUndoStack>
#include <QWheelEvent>
#include <cmath>

namespace {
void move(QWidget *w, int x, int y, Qt::MouseButtons buttons) {
  QMouseEvent e(QEvent::MouseMove, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

void wheel(QWidget *w, int delta) {
  QWheelEvent e(QPointF(100, 100), w->mapToGlobal(QPointF(100, 100)), QPoint(0, 0),
                QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(w, &e);
}

// A node that counts its destructions, to see that Delete releases what it removes.
struct CountingNode : DrawableNode {
  explicit CountingNode(int *deaths) : DrawableNode(nullptr), deaths_(deaths) {}
  ~CountingNode() override { ++*deaths_; }
  int *deaths_;
};
} // namespace

using ViewNavigation = ViewFixture;

TEST_F(ViewNavigation, RightDragAccumulatesHalvedMotionTruncatedTowardsZero) {
  load();
  QTest::mousePress(view.get(), Qt::RightButton, {}, QPoint(100, 100));
  EXPECT_EQ(view->mouseMode, MouseMode::Rotate);
  EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
  // dx = 100 - 93 = 7 -> 3; dy = 100 - 105 = -5 -> -2 (not -3).
  move(view.get(), 93, 105, Qt::RightButton);
  EXPECT_EQ(view->pendingRotationY, 3);
  EXPECT_EQ(view->pendingRotationX, -2);
  EXPECT_EQ(view->lastX, 93);
  EXPECT_EQ(view->lastY, 105);
  // One pixel of motion is lost to the halving.
  move(view.get(), 92, 104, Qt::RightButton);
  EXPECT_EQ(view->pendingRotationY, 3);
  EXPECT_EQ(view->pendingRotationX, -2);
  EXPECT_TRUE(view->interacting); // rotating may decimate the model, like panning
  QTest::mouseRelease(view.get(), Qt::RightButton, {}, QPoint(92, 104));
  EXPECT_FALSE(view->interacting);
  EXPECT_EQ(view->mouseMode, MouseMode::Idle);
  EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ViewNavigation, RotationFoldsIntoThisViewsMatrixAtTheNextFrameAndNoOtherView) {
  load();
  ModelView other;
  other.resize(300, 200);
  other.show();
  paint();
  QTest::mousePress(view.get(), Qt::RightButton, {}, QPoint(100, 100));
  move(view.get(), 100, 80, Qt::RightButton); // pending x = 10
  EXPECT_EQ(view->pendingRotationX, 10);
  paint();
  other.repaint();
  EXPECT_EQ(view->pendingRotationX, 0);
  EXPECT_EQ(other.rotation.accumulated, ViewRotation::identity());
  const double a = 10 / -50.0;
  const ViewRotation::Matrix &m = view->rotation.accumulated;
  EXPECT_NEAR(m[5], std::cos(a), 1e-12);
  EXPECT_NEAR(m[6], std::sin(a), 1e-12);
  EXPECT_NEAR(m[9], -std::sin(a), 1e-12);
  EXPECT_NEAR(m[0], 1.0, 1e-12);
  QTest::mouseRelease(view.get(), Qt::RightButton, {}, QPoint(100, 80));
  // Outside rotate mode a pending amount is not folded.
  view->pendingRotationY = 4;
  paint();
  EXPECT_EQ(view->pendingRotationY, 4);
}

TEST_F(ViewNavigation, MiddleDragZoomsByPowersOfOnePointZeroOne) {
  load();
  const double d0 = view->distance;
  QTest::mousePress(view.get(), Qt::MiddleButton, {}, QPoint(200, 200));
  EXPECT_EQ(view->mouseMode, MouseMode::Zoom);
  EXPECT_TRUE(view->interacting);
  move(view.get(), 200, 180, Qt::MiddleButton); // up 20: closer by 1.01^10
  EXPECT_NEAR(view->distance, d0 * std::pow(1.01, -10), 1e-9 * d0);
  move(view.get(), 200, 220, Qt::MiddleButton); // down 40: away by 1.01^20
  EXPECT_NEAR(view->distance, d0 * std::pow(1.01, 10), 1e-9 * d0);
  const double d1 = view->distance;
  move(view.get(), 200, 221, Qt::MiddleButton); // one pixel halves to nothing
  EXPECT_DOUBLE_EQ(view->distance, d1);
  QTest::mouseRelease(view.get(), Qt::MiddleButton, {}, QPoint(200, 221));
  EXPECT_FALSE(view->interacting);
  EXPECT_EQ(view->mouseMode, MouseMode::Idle);
}

TEST_F(ViewNavigation, LeftDragOnEmptySpacePansInPixels) {
  load();
  QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(300, 300));
  EXPECT_EQ(view->mouseMode, MouseMode::Pan);
  EXPECT_TRUE(view->interacting);
  move(view.get(), 290, 315, Qt::LeftButton);
  EXPECT_EQ(view->panX, 10);
  EXPECT_EQ(view->panY, -15);
  // The drag delta is consumed at the end of every move.
  EXPECT_EQ(view->dragDeltaX, 0);
  EXPECT_EQ(view->cursor().shape(), Qt::SizeAllCursor);
  move(view.get(), 295, 315, Qt::LeftButton);
  EXPECT_EQ(view->panX, 5);
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(295, 315));
  EXPECT_FALSE(view->interacting);
  // Without a button held, motion moves nothing.
  move(view.get(), 100, 100, Qt::NoButton);
  EXPECT_EQ(view->panX, 5);
  EXPECT_EQ(view->panY, -15);
}

TEST_F(ViewNavigation, EveryWheelMessageIsOneStepAndZeroZoomsIn) {
  load();
  const double d0 = view->distance;
  wheel(view.get(), 120);
  EXPECT_NEAR(view->distance, d0 / std::pow(1.01, 10), 1e-9 * d0);
  wheel(view.get(), -720); // a large amount is still one step
  EXPECT_NEAR(view->distance, d0, 1e-9 * d0);
  wheel(view.get(), 0);
  EXPECT_NEAR(view->distance, d0 / std::pow(1.01, 10), 1e-9 * d0);
  // Zooming keeps the window's centre: a panned model's centre moves away from it by the
  // ratio of the distances.
  view->panX = 100;
  view->panY = -40;
  paint();
  const QPointF before = pixelOf(view->centre) - QPointF(450, 300);
  wheel(view.get(), 120);
  paint();
  const QPointF after = pixelOf(view->centre) - QPointF(450, 300);
  EXPECT_NEAR(after.x(), before.x() * std::pow(1.01, 10), 1e-3);
  EXPECT_NEAR(after.y(), before.y() * std::pow(1.01, 10), 1e-3);
  EXPECT_NEAR(before.x(), -100, 1e-3); // a pan of n pixels moves the model n pixels
  EXPECT_NEAR(before.y(), 40, 1e-3);
}

TEST_F(ViewNavigation, ZoomToFitFallsBackToOneWithoutSize) {
  view->boundsMin = view->boundsMax = {1e5, 2, 3}; // a single point
  view->zoomToFit();
  EXPECT_DOUBLE_EQ(view->distance, 1.0);
  EXPECT_EQ(view->centre, (Vec3d{1e5, 2, 3}));
  view->boundsMin = {1, 1, 1}; // an empty model's inverted box
  view->boundsMax = {-1, -1, -1};
  view->zoomToFit();
  EXPECT_DOUBLE_EQ(view->distance, 1.0);
  EXPECT_EQ(view->centre, (Vec3d{}));
  const ViewState::DepthRange r = view->depthRange();
  EXPECT_GT(r.nearPlane, 0);
  EXPECT_GT(r.farPlane, r.nearPlane);
  EXPECT_NEAR(view->worldUnitsPerPixel(), 1.0 / std::sqrt(900.0 * 900 + 600.0 * 600), 1e-15);
}

namespace {
// The square's layout (20 x 10 over 3 x 3 points) moved by an offset.
void writeMovedSquare(const std::string &path, Vec3f offset) {
  std::vector<Vec3f> pts;
  std::vector<float> dev;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      pts.push_back(Vec3f{offset.x + 10.0f * i, offset.y + 5.0f * j, offset.z});
      dev.push_back(0.1f * float(i - 1));
    }
  std::vector<TestTriangle> tris;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) {
      const int a = j * 3 + i;
      tris.push_back({a, a + 1, a + 4, 0});
      tris.push_back({a, a + 4, a + 3, 0});
    }
  writeSessionFile(path, pts, dev, tris);
}

// Pixels that differ from the empty frame, in a rectangle (y down).
int changedPixels(const QImage &frame, const QImage &empty, const QRect &r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb a = frame.pixel(x, y), b = empty.pixel(x, y);
      n += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) >
           12;
    }
  return n;
}
} // namespace

TEST_F(ViewNavigation, ModelsFarFromTheOriginOpenCentredAndFittedAndStaySoWhenTurned) {
  for (const QSize size : {QSize(900, 600), QSize(400, 600)}) {
    view->resize(size);
    paint();
    const QImage empty = view->grabFramebuffer();
    const int w = size.width(), h = size.height();
    // The fitted sphere leaves 1/11 of the narrower half-size free: bands of 15 pixels at the
    // left, top and bottom, and left of the legend when the window is wide enough.
    std::vector<QRect> bands = {
        {0, 0, 15, h - 120}, {0, 0, w - 130, 15}, {110, h - 15, w - 240, 15}};
    if (w > 800)
      bands.push_back({w - 160, 0, 30, h - 40});
    const QRect middle(w / 2 - 40, h / 2 - 20, 80, 40);
    for (const Vec3f offset : {Vec3f{0, 0, 300}, Vec3f{1e5f, 1e5f, 1e5f}, Vec3f{0, 0, -3e4f}}) {
      const std::string path = (dir.path() + "/moved.ses").toStdString();
      writeMovedSquare(path, offset);
      loadPath(path);
      for (int turn = 0; turn < 2; ++turn) {
        paint();
        const QImage frame = view->grabFramebuffer();
        const std::string what =
            std::to_string(w) + " wide, z " + std::to_string(offset.z) + (turn ? ", turned" : "");
        EXPECT_EQ(changedPixels(frame, empty, middle), middle.width() * middle.height()) << what;
        for (const QRect &band : bands)
          EXPECT_EQ(changedPixels(frame, empty, band), 0) << what;
        if (turn == 0) {
          // Turn it 0.6 rad about the screen's x axis and 0.4 about its y axis.
          view->mouseMode = MouseMode::Rotate;
          view->pendingRotationX = 30;
          view->pendingRotationY = 20;
          paint();
          view->mouseMode = MouseMode::Idle;
        }
      }
      view->makeCurrent();
      view->scene().clearModels();
      view->doneCurrent();
    }
  }
}

TEST_F(ViewNavigation, ScaleBarIsAsLongAsItsLengthShowsAtTheModel) {
  for (const double zoom : {1.0, 7.3}) {
    load();
    view->distance *= zoom;
    paint();
    const QImage frame = view->grabFramebuffer();
    // The bar's black line along the bottom row, ending 10 pixels from the right edge.
    int first = -1, last = -1;
    for (int x = 0; x < 900; ++x)
      if (qRed(frame.pixel(x, 599)) < 60) {
        first = first < 0 ? x : first;
        last = x;
      }
    ASSERT_GE(first, 0);
    EXPECT_NEAR(last, 889, 1);
    const float shown = ScaleNode::shownLength(float(900 * view->pixelSize()));
    // That length laid along the screen's x axis at the model's centre.
    const QPointF a = pixelOf(view->centre), b = pixelOf(view->centre + Vec3d{shown, 0, 0});
    EXPECT_NEAR(last + 1 - first, b.x() - a.x(), 1.5) << shown;
    view->makeCurrent();
    view->scene().clearModels();
    view->doneCurrent();
  }
}

TEST_F(ViewNavigation, ShowAllPointsRefitsAndResetsPanAndPendingButKeepsTheRotation) {
  load();
  const double fitted = view->distance;
  view->rotation.accumulated[1] = 0.5; // a turned model
  view->panX = 40;
  view->panY = -7;
  view->pendingRotationX = 3;
  view->distance = 999;
  view->centre = {};
  view->onShowAllPoints();
  EXPECT_EQ(view->panX, 0);
  EXPECT_EQ(view->panY, 0);
  EXPECT_EQ(view->pendingRotationX, 0);
  EXPECT_DOUBLE_EQ(view->distance, fitted);
  EXPECT_EQ(view->centre, (Vec3d{10, 5, 0}));
  EXPECT_EQ(view->rotation.accumulated[1], 0.5);
}

TEST_F(ViewNavigation, KeysOneToSevenShowTheStandardViewsAndResetGoesBackToTheTop) {
  load();
  const double fitted = view->distance;
  const double s = 1 / std::sqrt(2.0);
  struct Case {
    Qt::Key key;
    Vec3d toViewer, right, up; // world directions
  };
  const Case cases[] = {
      {Qt::Key_1, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},  // front
      {Qt::Key_2, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},  // back
      {Qt::Key_3, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},   // top
      {Qt::Key_4, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}}, // bottom
      {Qt::Key_5, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, // left
      {Qt::Key_6, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   // right
      {Qt::Key_7, {1, -1, 1}, {s, s, 0}, {0, 0, 1}},  // isometric
  };
  for (const Case &c : cases) {
    view->panX = 50;
    view->pendingRotationY = 3;
    view->distance = 999;
    QTest::keyClick(view.get(), c.key);
    EXPECT_EQ(view->panX, 0);
    EXPECT_EQ(view->pendingRotationY, 0);
    EXPECT_DOUBLE_EQ(view->distance, fitted);
    paint();
    double dc = 0, dv = 0;
    const QPointF o = pixelOf(view->centre, &dc);
    // The viewer's direction shows as a point nearer than the centre; right goes right and
    // up goes up on screen.
    const QPointF v = pixelOf(view->centre + c.toViewer, &dv), r = pixelOf(view->centre + c.right),
                  u = pixelOf(view->centre + c.up);
    const std::string key = std::to_string(c.key - Qt::Key_0);
    EXPECT_NEAR(v.x(), o.x(), 1e-3) << key;
    EXPECT_NEAR(v.y(), o.y(), 1e-3) << key;
    EXPECT_LT(dv, dc) << key;
    EXPECT_GT(r.x() - o.x(), 5) << key;
    EXPECT_NEAR(r.y(), o.y(), 1e-3) << key;
    EXPECT_LT(u.y() - o.y(), -5) << key;
    EXPECT_NEAR(u.x(), o.x(), 1e-3) << key;
  }
  view->resetView();
  EXPECT_EQ(view->rotation.accumulated, ViewRotation::identity());
  QTest::keyClick(view.get(), Qt::Key_3);
  EXPECT_EQ(view->rotation.accumulated, ViewRotation::identity());
}

TEST_F(ViewNavigation, DeleteRemovesOnlySelectedRecordsUndoablyAndTheSceneFollows) {
  load();
  using Part = Document::Part;
  Document &doc = view->document();
  doc.addBanner({0, {}, "keep"});
  doc.addBanner({1, {1, 2, 0}, "drop"});
  doc.addComment({"drop", 10, 20, 20, 0, false});
  doc.addComment({"keep", 30, 40, 20, 0, false});
  const Annotations before = doc.annotations();
  ASSERT_EQ(view->scene().banners.size(), 2u); // drawn from the records
  ASSERT_EQ(view->scene().comments.size(), 2u);
  view->sync().nodes(Part::Banners)[1]->setSelected(true);
  view->sync().nodes(Part::Comments)[0]->setSelected(true);
  QTest::keyClick(view.get(), Qt::Key_Delete);
  ASSERT_EQ(doc.banners().size(), 1u);
  EXPECT_EQ(doc.banners()[0].comment, "keep");
  ASSERT_EQ(doc.comments().size(), 1u);
  EXPECT_EQ(doc.comments()[0].text, "keep");
  EXPECT_EQ(view->scene().banners.size(), 1u);
  EXPECT_EQ(view->scene().comments.size(), 1u);
  // Undo puts each back at its place, and the scene draws them again; redo takes them out.
  view->undoStack()->undo();
  EXPECT_EQ(doc.annotations(), before);
  ASSERT_EQ(view->scene().banners.size(), 2u);
  const auto *back = dynamic_cast<const BannerNode *>(view->sync().nodes(Part::Banners)[1]);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->pointIndex, 1);
  EXPECT_EQ(back->boxOffset(), (Vec3d{1, 2, 0}));
  EXPECT_EQ(view->scene().comments.head(), view->sync().nodes(Part::Comments)[0]);
  view->undoStack()->redo();
  EXPECT_EQ(view->scene().banners.size(), 1u);
  EXPECT_EQ(doc.banners().size(), 1u);
  // Nothing selected: nothing changes.
  QTest::keyClick(view.get(), Qt::Key_Delete);
  EXPECT_EQ(view->undoStack()->count(), 1);
}

TEST_F(ViewNavigation, CtrlIsTrackedAndMissedBannersKeepTheirSelectionWithIt) {
  load();
  int deaths = 0;
  auto *banner = new CountingNode(&deaths); // its hit test never hits
  view->scene().banners.append(banner);
  banner->setSelected(true);
  QTest::keyPress(view.get(), Qt::Key_Control);
  EXPECT_TRUE(view->ctrlHeld);
  QTest::mousePress(view.get(), Qt::LeftButton, Qt::ControlModifier, QPoint(10, 10));
  EXPECT_TRUE(banner->isSelected());
  QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::ControlModifier, QPoint(10, 10));
  QTest::keyRelease(view.get(), Qt::Key_Control);
  EXPECT_FALSE(view->ctrlHeld);
  // A plain press with no drag delta deselects a missed banner.
  QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_FALSE(banner->isSelected());
  EXPECT_FALSE(view->bannerHit);
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(10, 10));
}

TEST_F(ViewNavigation, ResizeKeepsTheDrawableSizeAndIgnoresEmptySizes) {
  view->resize(640, 480);
  QCoreApplication::processEvents();
  paint();
  EXPECT_EQ(view->viewWidth, 640);
  EXPECT_EQ(view->viewHeight, 480);
  EXPECT_EQ(view->windowRect().width, 640);
  EXPECT_TRUE(view->contextUsable());
}

TEST_F(ViewNavigation, ANewFileOpensInTheStandardViewCentredOnItsBox) {
  view->rotation.accumulated[1] = 0.5; // the previous model was turned and moved
  view->panX = 30;
  view->pendingRotationX = 2;
  load();
  EXPECT_EQ(view->centre, (Vec3d{10, 5, 0}));
  EXPECT_EQ(view->boundsMax.x, 20.0);
  EXPECT_EQ(view->rotation.accumulated, ViewRotation::identity());
  EXPECT_EQ(view->panX, 0);
  EXPECT_EQ(view->pendingRotationX, 0);
}

TEST_F(ViewNavigation, ClickWithoutMotionPinsABannerAndOnePixelOfMotionDoesNot) {
  load();
  paint();
  // Centre of the window: the middle of the square model.
  QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(450, 300));
  move(view.get(), 451, 300, Qt::LeftButton);
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(451, 300));
  EXPECT_TRUE(view->scene().banners.empty()) << "moved by one pixel: a pan, not a click";
  QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(450, 300));
  QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(450, 300));
  EXPECT_FALSE(view->scene().banners.empty());
  EXPECT_EQ(view->mouseMode, MouseMode::Idle);
  EXPECT_FALSE(view->interacting);
}

TEST_F(ViewNavigation, HoverFindsTheModelPointUnderTheCursor) {
  load();
  paint();
  move(view.get(), 450, 300, Qt::NoButton);
  // The square's centre point (10, 5) has index 4.
  EXPECT_EQ(view->hoveredPoint, 4);
  move(view.get(), 5, 5, Qt::NoButton); // background: far away
  EXPECT_EQ(view->hoveredPoint, -1);
}

VELMORA_GUI_TEST_MAIN()
