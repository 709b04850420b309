// Mouse, wheel and keyboard rules of the 3D view, driven through real events.
#include "ViewFixture.h"
#include "gui/GuiTestMain.h"

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
struct CountingNode : GLRvList {
  explicit CountingNode(int *deaths) : GLRvList(nullptr), deaths_(deaths) {}
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

TEST_F(ViewNavigation, RotationFoldsIntoTheSharedMatrixAtTheNextFrame) {
  load();
  paint();
  QTest::mousePress(view.get(), Qt::RightButton, {}, QPoint(100, 100));
  move(view.get(), 100, 80, Qt::RightButton); // pending x = 10
  EXPECT_EQ(view->pendingRotationX, 10);
  paint();
  EXPECT_EQ(view->pendingRotationX, 0);
  const double a = 10 / -50.0;
  const ViewRotation::Matrix &m = ViewRotation::global().accumulated;
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
}

TEST_F(ViewNavigation, ZoomToFitUsesTheWiderExtentAndFallsBackToOne) {
  view->boundsMin = {0, 0, 0};
  view->boundsMax = {20, 10, 5};
  view->zoomToFit();
  EXPECT_DOUBLE_EQ(view->distance, 32.0); // 1.6 x the x extent
  view->boundsMax = {10, 20, 5};
  view->zoomToFit();
  EXPECT_DOUBLE_EQ(view->distance, 1.5 * 32.0); // aspect 900/600 x 1.6 x the y extent
  // Zero window height: aspect 0, so a tall model fits to 0 and then to 1.
  view->viewHeight = 0;
  view->zoomToFit();
  EXPECT_DOUBLE_EQ(view->distance, 1.0);
  view->viewHeight = 600;
  view->boundsMax = {0, 0, 0};
  view->zoomToFit();
  EXPECT_DOUBLE_EQ(view->distance, 1.0);
  EXPECT_NEAR(view->worldUnitsPerPixel(), 1.0 / std::sqrt(900.0 * 900 + 600.0 * 600), 1e-15);
}

TEST_F(ViewNavigation, ShowAllPointsResetsPanAndPendingButKeepsTheRotation) {
  load();
  ViewRotation::global().accumulated[1] = 0.5; // a turned model
  view->panX = 40;
  view->panY = -7;
  view->pendingRotationX = 3;
  view->distance = 999;
  view->onShowAllPoints();
  EXPECT_EQ(view->panX, 0);
  EXPECT_EQ(view->panY, 0);
  EXPECT_EQ(view->pendingRotationX, 0);
  EXPECT_DOUBLE_EQ(view->distance, 32.0); // square spans 20 x 10
  EXPECT_EQ(ViewRotation::global().accumulated[1], 0.5);
}

TEST_F(ViewNavigation, DeleteRemovesAndReleasesOnlySelectedBannersAndComments) {
  load();
  int deaths = 0;
  auto *keepBanner = new CountingNode(&deaths);
  auto *dropBanner = new CountingNode(&deaths);
  auto *dropComment = new CountingNode(&deaths);
  auto *keepComment = new CountingNode(&deaths);
  view->scene().banners.append(keepBanner);
  view->scene().banners.append(dropBanner);
  view->scene().comments.append(dropComment);
  view->scene().comments.append(keepComment);
  dropBanner->setSelected(true);
  dropComment->setSelected(true);
  QTest::keyClick(view.get(), Qt::Key_Delete);
  EXPECT_EQ(deaths, 2);
  EXPECT_EQ(view->scene().banners.head(), keepBanner);
  EXPECT_EQ(GLSceneList::next(keepBanner), nullptr);
  EXPECT_EQ(view->scene().comments.head(), keepComment);
  // Nothing selected: nothing changes.
  QTest::keyClick(view.get(), Qt::Key_Delete);
  EXPECT_EQ(deaths, 2);
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

TEST_F(ViewNavigation, LoadStepCentresTheSceneOnTheBox) {
  load();
  EXPECT_DOUBLE_EQ(view->scene().centreX, 10.0);
  EXPECT_DOUBLE_EQ(view->scene().centreY, 5.0);
  EXPECT_EQ(view->boundsMax.x, 20.0);
  EXPECT_DOUBLE_EQ(view->distance, 32.0);
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
