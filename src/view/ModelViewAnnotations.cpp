// What an engineer adds to a 3D window and takes back: the undo history of banners,
// distances and comments, the distance tool and the worst-point callouts.
#include "view/ModelView.h"

#include "analysis/ColourScale.h"
#include "analysis/WorstPoints.h"
#include "scene/GLPointCloud.h"
#include "scene/WindowOverlay.h"
#include "session/SessionModel.h"
#include "view/BackgroundWork.h"
#include "view/BannerNode.h"
#include "view/CommentNode.h"
#include "view/DistanceNode.h"
#include "view/GLMatrices.h"
#include "view/Picking.h"
#include "view/ProgramSettings.h"
#include "view/ViewCommands.h"
#include "view/ViewScene.h"
#include "view/WorstPointsDialog.h"

#include <GL/gl.h>
#include <QOpenGLContext>
#include <QUndoStack>
#include <algorithm>

namespace {
QString valueText(double v, int places) {
  return QString::fromStdString(picking::formatValue(v, places, picking::kPanelBuffer));
}
} // namespace

NodeList *ModelView::listFor(const SceneNode *node) const {
  if (dynamic_cast<const DistanceNode *>(node))
    return &scene_->distances;
  if (dynamic_cast<const BannerNode *>(node))
    return &scene_->banners;
  if (dynamic_cast<const CommentNode *>(node))
    return &scene_->comments;
  return nullptr;
}

void ModelView::recordAdded(const std::vector<SceneNode *> &nodes, const QString &text) {
  std::vector<NodesCommand::Slot> entries;
  for (SceneNode *n : nodes)
    if (NodeList *list = listFor(n))
      entries.push_back({list, n});
  if (!entries.empty())
    undoStack_->push(new NodesCommand(*this, NodesCommand::Kind::Add, std::move(entries), text));
}

void ModelView::deleteSelected() {
  std::vector<NodesCommand::Slot> entries;
  for (NodeList *list : {&scene_->banners, &scene_->distances, &scene_->comments})
    list->forEach([&](SceneNode *n) {
      if (n->isSelected())
        entries.push_back({list, n});
    });
  if (entries.empty())
    return;
  // The nodes stay alive in the step, so the deletion can be undone.
  undoStack_->push(new NodesCommand(*this, NodesCommand::Kind::Remove, std::move(entries),
                                    QStringLiteral("delete")));
  emit selectionChanged();
}

void ModelView::releaseNodes(const std::vector<SceneNode *> &nodes) {
  // Nodes may own display lists of this context; the destructor may already hold it current.
  const bool current = context() && QOpenGLContext::currentContext() == context();
  if (!current)
    makeCurrent();
  for (SceneNode *n : nodes)
    delete n;
  if (!current)
    doneCurrent();
}

void ModelView::forgetNode(SceneNode *node) {
  if (draggedComment == node)
    draggedComment = nullptr;
  std::erase_if(moveStart_, [node](const auto &m) { return m.first == node; });
}

void ModelView::selectOnly(SceneNode *node) {
  for (NodeList *list : {&scene_->banners, &scene_->distances, &scene_->comments})
    list->forEach([node](SceneNode *n) { n->setSelected(n == node); });
  renderFrame();
  emit selectionChanged();
}

void ModelView::resetHistory() { undoStack_->clear(); }

void ModelView::beginMoveRecording() {
  moveStart_.clear();
  if (mouseMode == MouseMode::DragBanners) {
    for (NodeList *list : {&scene_->banners, &scene_->distances})
      list->forEach([this](SceneNode *n) {
        if (n->isSelected())
          moveStart_.emplace_back(n, MoveCommand::positionOf(n));
      });
  } else if (mouseMode == MouseMode::DragComment && draggedComment) {
    moveStart_.emplace_back(draggedComment, MoveCommand::positionOf(draggedComment));
  }
}

void ModelView::endMoveRecording() {
  std::vector<MoveCommand::Move> moves;
  for (const auto &[node, before] : moveStart_) {
    const Vec3d after = MoveCommand::positionOf(node);
    if (!(after == before))
      moves.push_back({node, before, after});
  }
  moveStart_.clear();
  if (!moves.empty())
    undoStack_->push(new MoveCommand(*this, std::move(moves)));
}

const QCursor &ModelView::idleCursor() const {
  static const QCursor cross(Qt::CrossCursor);
  return measuring_ ? cross : arrowCursor;
}

void ModelView::startMeasureDistance() {
  measuring_ = true;
  measureFirst_ = -1;
  setCursor(idleCursor());
  emit statusMessage(QStringLiteral("Measure distance: click the first point (Escape cancels)"));
}

void ModelView::cancelMeasureDistance() {
  if (!measuring_)
    return;
  measuring_ = false;
  measureFirst_ = -1;
  setCursor(idleCursor());
  update();
  emit statusMessage(QStringLiteral("Ready"));
}

void ModelView::drawMeasureMarker() {
  const SessionModel *model = scene_->shownModel();
  if (!measuring_ || measureFirst_ < 0 || !model || measureFirst_ >= model->pointCount)
    return;
  const GLMatrices m = currentMatrices();
  const Vec3f &p = model->points[std::size_t(measureFirst_)];
  double wx = 0, wy = 0;
  if (!projectToWindow(Vec3d(p.x, p.y, p.z), m, wx, wy))
    return;
  glDisable(GL_LIGHTING);
  beginWindowOverlay(m.viewport[2], m.viewport[3]);
  glColor3d(1, 0, 1);
  glLineWidth(2);
  drawSquareOutline(wx, wy, 5);
  glLineWidth(1);
  endWindowOverlay();
}

void ModelView::measureClick(int x, int y) {
  const SessionModel *model = scene_->shownModel();
  if (!model)
    return;
  makeCurrent();
  const picking::FrameSample sample = scene_->sampleAround(x, y);
  const int index = picking::snapIndex(*model, sample);
  doneCurrent();
  if (index < 0) {
    emit statusMessage(QStringLiteral("No measured point within %1 pixels of the click")
                           .arg(picking::kSnapPixels));
    return;
  }
  if (measureFirst_ < 0 || index == measureFirst_) {
    const bool again = measureFirst_ >= 0;
    measureFirst_ = index;
    emit statusMessage(again ? QStringLiteral("That is the first point: click another point")
                             : QStringLiteral("Measure distance: first point %1 taken; click the "
                                              "second point")
                                   .arg(index));
    return;
  }
  std::unique_ptr<DistanceNode> node =
      makeDistance(this, *model, measureFirst_, index, sample.modelView, worldUnitsPerPixel(),
                   display.decimalPlaces);
  measuring_ = false;
  measureFirst_ = -1;
  setCursor(idleCursor());
  if (!node)
    return;
  const Vec3d d = node->second - node->first;
  emit statusMessage(
      QStringLiteral("Distance %1 mm").arg(valueText(length(d), display.decimalPlaces)));
  DistanceNode *added = node.get();
  scene_->distances.append(node.release());
  recordAdded({added}, QStringLiteral("add distance"));
  renderFrame();
}

void ModelView::onCalloutWorstPoints() {
  SessionModel *model = pointCloud() ? pointCloud()->model() : nullptr;
  if (!model)
    return;
  WorstPointsDialog dlg(defaultWorstPointSpacing(model->GetBoundingBox()), window());
  if (dlg.exec() != QDialog::Accepted)
    return;
  calloutWorstPoints(dlg.count(), dlg.spacing());
}

int ModelView::calloutWorstPoints(int count, double spacing) {
  const SessionModel *model = scene_->shownModel();
  if (!model)
    return 0;
  if (model->deviationMode <= 0 || !model->deviations.present()) {
    emit statusMessage(QStringLiteral("This file has no deviations: there are no worst points"));
    return 0;
  }
  WorstPointsRequest request;
  request.count = std::clamp(count, 1, WorstPointsRequest::kMaxCount);
  request.spacing = spacing;
  request.lower = display.lowerTolerance;
  request.upper = display.upperTolerance;
  std::vector<std::int32_t> worst;
  emit statusMessage(QStringLiteral("Finding the worst points..."));
  runInBackground(window(), QStringLiteral("Finding the worst points..."),
                  [&] { worst = worstPoints(*model, request); });

  const ColourScale scale = bannerScale(display);
  makeCurrent();
  const std::array<double, 16> modelView = currentModelView();
  doneCurrent();
  std::vector<SceneNode *> added;
  std::vector<BannerNode *> labels;
  for (const std::int32_t index : worst) {
    auto banner = picking::makeBanner(this, *model, index, modelView, worldUnitsPerPixel(),
                                      display.decimalPlaces, scale);
    added.push_back(banner.get());
    labels.push_back(banner.get());
    scene_->banners.append(banner.release());
  }
  picking::spreadLabels(labels, modelView, pixelSize());
  recordAdded(added, QStringLiteral("call out worst points"));
  const int pinned = int(worst.size());
  emit statusMessage(
      pinned == request.count
          ? QStringLiteral("Called out the %1 worst points").arg(pinned)
          : QStringLiteral("Called out %1 of %2 worst points: only %1 points outside the tolerance "
                           "lie %3 mm apart")
                .arg(pinned)
                .arg(request.count)
                .arg(WorstPointsDialog::spacingText(spacing)));
  renderFrame();
  return pinned;
}
