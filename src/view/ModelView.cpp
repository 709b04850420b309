#include "view/ModelView.h"

#include "document/Document.h"
#include "view/SceneSync.h"

#include "scene/GLPointCloud.h"
#include "view/BannerNode.h"
#include "view/PointLookup.h"
#include "view/SettingsDialog.h"
#include "view/ViewCursors.h"
#include "view/ViewHooks.h"
#include "view/ViewScene.h"

#include <GL/gl.h>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSettings>
#include <QTimer>
#include <QUndoStack>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
QSettings viewSettings() {
  return QSettings(QStringLiteral("VelmoraViewer"), QStringLiteral("VelmoraViewer"));
}
const QString kFrameBudgetKey = QStringLiteral("View/FrameBudgetMs");
// A budget outside these would slice uploads into nothing or never decimate.
constexpr double kMinFrameBudgetMs = 5, kMaxFrameBudgetMs = 10000;
} // namespace

ModelView::ModelView(QWidget *parent)
    : QOpenGLWidget(parent), scene_(std::make_unique<ViewScene>(*this)),
      lookup_(new PointLookup(*this)) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(1, 1);
  pendingRotationX = pendingRotationY = 0;
  panX = panY = 0;
  rotateCursor = makeRotateCursor();
  zoomCursor = makeZoomCursor();
  arrowCursor = QCursor(Qt::ArrowCursor);
  panCursor = QCursor(Qt::SizeAllCursor);
  setCursor(arrowCursor);
  scene_->requestFrame = [this] {
    renderFrame();
    emit settingsApplied();
  };
  document_ = std::make_shared<Document>();
  sync_ = std::make_unique<SceneSync>(*this, *document_);
  undoStack_ = std::make_unique<QUndoStack>();
  connect(undoStack_.get(), &QUndoStack::indexChanged, this, [this] { emit annotationsChanged(); });
  // A window spreads the upload of a large model over frames and keeps answering.
  liveWindow = true;
  const double budget = viewSettings().value(kFrameBudgetKey, frameBudgetMs).toDouble();
  if (budget >= kMinFrameBudgetMs && budget <= kMaxFrameBudgetMs)
    frameBudgetMs = budget;
}

ModelView::~ModelView() {
  // The view's dialogs act on it alone: they close with it.
  if (settingsDialog)
    delete settingsDialog.data();
  if (sectionDialog)
    delete sectionDialog.data();
  // Nobody hears of the emptied history of a closing window; the scene no longer follows
  // the document.
  undoStack_->disconnect();
  undoStack_.reset();
  sync_.reset();
  // Display lists belong to this widget's context: release them while it is current.
  makeCurrent();
  scene_.reset();
  doneCurrent();
}

GLPointCloud *ModelView::pointCloud() const { return scene_->pointCloud(); }

void ModelView::setDocument(std::shared_ptr<Document> document) {
  if (!document)
    return;
  undoStack_->clear();
  makeCurrent();
  sync_.reset();
  // The nodes of the old document go with it.
  for (NodeList *list : {&scene_->banners, &scene_->distances, &scene_->comments})
    list->clear();
  document_ = std::move(document);
  sync_ = std::make_unique<SceneSync>(*this, *document_);
  doneCurrent();
  emit annotationsChanged();
}

void ModelView::renderFrame() {
  if (isVisible())
    repaint();
  else
    update();
}

void ModelView::initializeGL() {
  // A core context draws nothing in immediate mode, silently: refuse it loudly.
  const QSurfaceFormat f = context()->format();
  contextUsable_ = f.profile() != QSurfaceFormat::CoreProfile;
  if (f.profile() == QSurfaceFormat::CoreProfile) {
    std::fprintf(stderr,
                 "velmora-viewer: OpenGL context is a core profile %d.%d; the 3D view needs a "
                 "compatibility profile and will stay empty\n",
                 f.majorVersion(), f.minorVersion());
    contextUsable_ = false;
  }
  ViewScene::setUpContextState();
}

void ModelView::resizeGL(int w, int h) {
  if (w <= 0 || h <= 0)
    return;
  // The frame, the depth buffer and everything placed in window pixels count device pixels.
  const qreal ratio = devicePixelRatioF();
  viewWidth = std::max(1, int(std::lround(w * ratio)));
  viewHeight = std::max(1, int(std::lround(h * ratio)));
  ViewScene::setProjection(*this);
}

QPoint ModelView::devicePixel(const QPointF &logical) const {
  const qreal ratio = devicePixelRatioF();
  return {int(std::floor(logical.x() * ratio)), int(std::floor(logical.y() * ratio))};
}

void ModelView::paintGL() {
  scene_->draw(*this);
  drawMeasureMarker();
  ++framesDrawn;
  const GLPointCloud *cloud = pointCloud();
  if (cloud && showModel && cloud->lastDrawFull())
    ++fullFramesDrawn;
  afterFrame();
  watchLookup();
}

void ModelView::watchLookup() {
  // Once the whole model is uploaded, its nearest-point index is built in the background
  // (when the pointer has come over the view).
  const GLPointCloud *cloud = pointCloud();
  if (!cloud || !cloud->uploadPending())
    lookup_->watch();
}

void ModelView::afterFrame() {
  const GLPointCloud *cloud = pointCloud();
  if (!cloud || !showModel)
    return;
  if (cloud->uploadPending()) {
    if (!pumpQueued_) {
      pumpQueued_ = true;
      QTimer::singleShot(0, this, [this] { pumpUploads(); });
    }
  } else if (cloud->needsAnotherFrame() && !frameQueued_) {
    frameQueued_ = true;
    QTimer::singleShot(0, this, [this] {
      frameQueued_ = false;
      update();
    });
  } else if (uploadShown_) {
    uploadShown_ = false;
    if (scene_->showStatus)
      QTimer::singleShot(0, this, [this] { scene_->showStatus("Ready"); });
  }
}

void ModelView::pumpUploads() {
  // One slice of the budget per event-loop turn: the window keeps answering, and the frame
  // on screen (a thinned stand-in) is not redrawn for every slice.
  pumpQueued_ = false;
  GLPointCloud *cloud = pointCloud();
  if (!cloud || !cloud->uploadPending())
    return;
  makeCurrent();
  const bool more = cloud->continueUploads(*this);
  doneCurrent();
  // Repainting the status bar recomposes the window: a few times a second is enough.
  const std::string text = scene_->uploadStatus();
  if (!text.empty() && scene_->showStatus &&
      (!uploadShown_ || !statusClock_.isValid() || statusClock_.elapsed() >= 250)) {
    scene_->showStatus(text.c_str());
    uploadShown_ = true;
    statusClock_.start();
  }
  if (more) {
    pumpQueued_ = true;
    QTimer::singleShot(0, this, [this] { pumpUploads(); });
  } else {
    update(); // the whole model
  }
}

void ModelView::onShowAllPoints() {
  panX = panY = 0;
  pendingRotationX = pendingRotationY = 0;
  zoomToFit();
  update();
  renderFrame();
}

namespace {
// World directions shown to the right and upwards. The side views keep z up, as the part
// stands on the machine table; top looks down on x right, y up; the isometric view looks
// from the front right above, along (-1, 1, -1).
struct Orientation {
  Vec3d right, up;
};
Orientation orientationOf(ModelView::StandardView which) {
  const double r2 = 1 / std::sqrt(2.0), r6 = 1 / std::sqrt(6.0);
  switch (which) {
  case ModelView::StandardView::Front: // from -y
    return {{1, 0, 0}, {0, 0, 1}};
  case ModelView::StandardView::Back: // from +y
    return {{-1, 0, 0}, {0, 0, 1}};
  case ModelView::StandardView::Top: // from +z
    return {{1, 0, 0}, {0, 1, 0}};
  case ModelView::StandardView::Bottom: // from -z, turned over about x
    return {{1, 0, 0}, {0, -1, 0}};
  case ModelView::StandardView::Left: // from -x
    return {{0, -1, 0}, {0, 0, 1}};
  case ModelView::StandardView::Right: // from +x
    return {{0, 1, 0}, {0, 0, 1}};
  case ModelView::StandardView::Isometric: // from (1, -1, 1)
    return {{r2, r2, 0}, {-r6, r6, 2 * r6}};
  }
  return {{1, 0, 0}, {0, 1, 0}};
}
} // namespace

void ModelView::setStandardView(StandardView which) {
  const Orientation o = orientationOf(which);
  resetCamera();
  rotation.setOrientation(o.right, o.up);
  renderFrame();
}

void ModelView::resetView() { setStandardView(kOpeningView); }

void ModelView::onTolerance() {
  // One settings dialog per view, so no second one can show settings that are out of date.
  if (settingsDialog && settingsDialog->isVisible()) {
    settingsDialog->loadFromView();
    settingsDialog->raise();
    settingsDialog->activateWindow();
    return;
  }
  auto *dlg = new SettingsDialog(*this, window());
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  settingsDialog = dlg;
  dlg->loadFromView();
  dlg->show();
}

void ModelView::setCentreFromBounds() { centre = boundsCentre(); }

void ModelView::focusInEvent(QFocusEvent *e) {
  emit activated(this);
  QOpenGLWidget::focusInEvent(e);
}

void ModelView::endDrag() {
  setCursor(idleCursor());
  captured_ = false;
  mouseMode = MouseMode::Idle;
  interacting = false;
  renderFrame();
}

void ModelView::mousePressEvent(QMouseEvent *e) {
  const QPoint at = devicePixel(e->position());
  const int x = at.x(), y = at.y();
  switch (e->button()) {
  case Qt::RightButton:
    setCursor(rotateCursor);
    lastX = x;
    lastY = y;
    mouseMode = MouseMode::Rotate;
    captured_ = true;
    // Turning a big model thins it like panning and zooming do.
    interacting = true;
    break;
  case Qt::MiddleButton:
    setCursor(zoomCursor);
    lastX = x;
    lastY = y;
    mouseMode = MouseMode::Zoom;
    captured_ = true;
    interacting = true;
    break;
  case Qt::LeftButton: {
    bannerHit = false;
    pressX = lastX = x;
    pressY = lastY = y;
    makeCurrent();
    draggedComment = nullptr;
    for (SceneNode *c = scene_->comments.head(); c; c = NodeList::next(c)) {
      if (hitComment(c, x, y, *this)) {
        draggedComment = c;
        c->setSelected(true);
        break;
      }
      c->setSelected(false);
    }
    bool firstHit = true;
    // Distance labels select and drag like banners.
    for (NodeList *list : {&scene_->banners, &scene_->distances})
      for (SceneNode *n = list->head(); n; n = NodeList::next(n)) {
        auto *b = dynamic_cast<DrawableNode *>(n);
        if (!b)
          continue;
        const bool hit = b->hitTest(x, y);
        if (ctrlHeld) {
          if (hit) {
            b->setSelected(true);
            if (firstHit)
              drawSingleBannerPanel(*this, *scene_);
            firstHit = false;
            bannerHit = true;
          }
        } else if (hit) {
          b->setSelected(true);
          bannerHit = true;
        } else if (dragDeltaX == 0 && dragDeltaY == 0) {
          b->setSelected(false);
        }
      }
    doneCurrent();
    update();
    mouseMode = bannerHit ? MouseMode::DragBanners
                          : (draggedComment ? MouseMode::DragComment : MouseMode::Pan);
    captured_ = true;
    interacting = true;
    beginMoveRecording();
    emit selectionChanged();
    break;
  }
  default:
    QOpenGLWidget::mousePressEvent(e);
  }
}

void ModelView::mouseReleaseEvent(QMouseEvent *e) {
  const QPoint at = devicePixel(e->position());
  const int x = at.x(), y = at.y();
  switch (e->button()) {
  case Qt::LeftButton:
    draggedComment = nullptr;
    endMoveRecording();
    if (x == pressX && y == pressY && !bannerHit) {
      if (measuring_) {
        measureClick(x, y);
      } else {
        makeCurrent();
        std::string why;
        BannerNode *banner = createBannerAtClick(*this, *scene_, x, y, &why);
        doneCurrent();
        scene_->distances.forEach([](SceneNode *n) { n->setSelected(false); });
        if (banner)
          recordAdded({banner}, QStringLiteral("add banner"));
        else
          emit statusMessage(QString::fromStdString(why));
        emit selectionChanged();
      }
    }
    endDrag();
    break;
  case Qt::RightButton:
  case Qt::MiddleButton:
    endDrag();
    break;
  default:
    QOpenGLWidget::mouseReleaseEvent(e);
  }
}

void ModelView::mouseMoveEvent(QMouseEvent *e) {
  if (!captured_) {
    // Hovering needs the nearest-point index; a drag does not.
    lookup_->want();
    watchLookup();
  }
  const QPoint at = devicePixel(e->position());
  const int x = at.x(), y = at.y();
  if (captured_) {
    const int dx = lastX - x, dy = lastY - y;
    lastDeltaX = dx;
    lastDeltaY = dy;
    switch (mouseMode) {
    case MouseMode::Rotate:
      lastX = x;
      lastY = y;
      pendingRotationY += dx / 2;
      pendingRotationX += dy / 2;
      update();
      break;
    case MouseMode::Zoom:
      lastX = x;
      lastY = y;
      zoomBy(std::pow(1.01, -(dy / 2)));
      update();
      break;
    case MouseMode::Pan:
      lastX = x;
      lastY = y;
      panX += dx;
      panY += dy;
      dragDeltaX = dx;
      dragDeltaY = dy;
      setCursor(panCursor);
      update();
      break;
    case MouseMode::DragBanners: {
      lastX = x;
      lastY = y;
      dragDeltaX = dx;
      dragDeltaY = dy;
      makeCurrent();
      GLdouble m[16];
      glGetDoublev(GL_MODELVIEW_MATRIX, m);
      doneCurrent();
      const Vec3d r = normalised(Vec3d{m[0], m[4], m[8]});
      const Vec3d u = normalised(Vec3d{m[1], m[5], m[9]});
      const double k = worldUnitsPerPixel();
      const Vec3d offset = r * (-1.55 * k * dx) + u * (1.55 * k * dy);
      for (NodeList *list : {&scene_->banners, &scene_->distances})
        for (SceneNode *n = list->head(); n; n = NodeList::next(n))
          if (auto *b = dynamic_cast<DrawableNode *>(n); b && b->isSelected())
            b->moveBy(offset);
      break;
    }
    case MouseMode::DragComment:
      lastX = x;
      lastY = y;
      dragDeltaX = dx;
      dragDeltaY = dy;
      if (auto *c = dynamic_cast<DrawableNode *>(draggedComment))
        c->moveBy(Vec3d{double(-dx), double(dy), 0});
      break;
    default:
      break;
    }
  }
  makeCurrent();
  hoveredPoint = nearestPointUnderCursor(*this, *scene_, x, y);
  doneCurrent();
  update();
  dragDeltaX = dragDeltaY = 0;
}

void ModelView::wheelEvent(QWheelEvent *e) {
  // Every wheel message is one step, whatever its amount; 0 counts as forwards.
  if (e->angleDelta().y() >= 0)
    zoomBy(1 / std::pow(1.01, 10));
  else
    zoomBy(std::pow(1.01, 10));
  update();
  e->accept();
}

void ModelView::keyPressEvent(QKeyEvent *e) {
  const int key = e->key();
  if (key == Qt::Key_Control)
    ctrlHeld = true;
  else if (key == Qt::Key_Delete)
    deleteSelected();
  else if (key == Qt::Key_Escape)
    cancelMeasureDistance();
  else if (key >= Qt::Key_1 && key <= Qt::Key_7)
    setStandardView(StandardView(key - Qt::Key_0));
  renderFrame();
}

void ModelView::keyReleaseEvent(QKeyEvent *e) {
  if (e->key() == Qt::Key_Control)
    ctrlHeld = false;
}
