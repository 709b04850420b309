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
#include "view/SceneSync.h"
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

namespace {
// The record a node made by a command shows; false for a node no record can hold (one not
// made from model points).
bool recordFrom(const SceneNode *node, RecordEntry &e) {
  if (const auto *d = dynamic_cast<const DistanceNode *>(node)) {
    e.part = Document::Part::Distances;
    e.distance = DistanceRecord{d->firstIndex, d->secondIndex, d->boxOffset(), d->comment};
    return d->firstIndex >= 0 && d->secondIndex >= 0;
  }
  if (const auto *b = dynamic_cast<const BannerNode *>(node)) {
    e.part = Document::Part::Banners;
    e.banner = BannerRecord{b->pointIndex, b->boxOffset(), b->comment};
    return b->pointIndex >= 0;
  }
  if (const auto *t = dynamic_cast<const CommentNode *>(node)) {
    e.part = Document::Part::Comments;
    e.comment =
        CommentRecord{t->text(), t->position.x, t->position.y, t->size(), t->angle(), t->fill};
    return true;
  }
  return false;
}
} // namespace

void ModelView::recordAdded(const std::vector<SceneNode *> &nodes, const QString &text) {
  std::vector<RecordEntry> entries;
  std::vector<SceneNode *> made;
  std::size_t next[3] = {document_->banners().size(), document_->distances().size(),
                         document_->comments().size()};
  std::vector<bool> selected;
  for (SceneNode *n : nodes) {
    NodeList *list = listFor(n);
    if (!list || list->indexOf(n) < 0)
      continue;
    RecordEntry e;
    const bool held = recordFrom(n, e);
    list->remove(n);
    forgetNode(n);
    made.push_back(n);
    if (!held)
      continue;
    e.index = next[int(e.part)]++;
    entries.push_back(e);
    selected.push_back(n->isSelected());
  }
  // The scene draws the records from now on.
  releaseNodes(made);
  if (entries.empty())
    return;
  const std::vector<RecordEntry> added = entries;
  undoStack_->push(
      new RecordsCommand(*document_, RecordsCommand::Kind::Add, std::move(entries), text));
  for (std::size_t i = 0; i < added.size(); ++i)
    if (SceneNode *n = sync_->nodes(added[i].part)[added[i].index]; n && selected[i])
      n->setSelected(true);
  renderFrame();
}

void ModelView::deleteSelected() {
  std::vector<RecordEntry> entries;
  for (Document::Part part :
       {Document::Part::Banners, Document::Part::Distances, Document::Part::Comments}) {
    const std::vector<SceneNode *> &nodes = sync_->nodes(part);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      if (!nodes[i] || !nodes[i]->isSelected())
        continue;
      RecordEntry e;
      e.part = part;
      e.index = i;
      if (part == Document::Part::Banners)
        e.banner = document_->banners()[i];
      else if (part == Document::Part::Distances)
        e.distance = document_->distances()[i];
      else
        e.comment = document_->comments()[i];
      entries.push_back(e);
    }
  }
  if (entries.empty())
    return;
  // The records stay in the step, so the deletion can be undone.
  undoStack_->push(new RecordsCommand(*document_, RecordsCommand::Kind::Remove, std::move(entries),
                                      QStringLiteral("delete")));
  renderFrame();
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

namespace {
// What a move changes in a node's record: a label's box offset, a comment's position.
Vec3d movedValue(const SceneNode *node) {
  if (const auto *b = dynamic_cast<const BannerNode *>(node))
    return b->boxOffset();
  if (const auto *t = dynamic_cast<const CommentNode *>(node))
    return Vec3d(t->position.x, t->position.y, 0);
  return {};
}
} // namespace

void ModelView::beginMoveRecording() {
  moveStart_.clear();
  if (mouseMode == MouseMode::DragBanners) {
    for (NodeList *list : {&scene_->banners, &scene_->distances})
      list->forEach([this](SceneNode *n) {
        if (n->isSelected())
          moveStart_.emplace_back(n, movedValue(n));
      });
  } else if (mouseMode == MouseMode::DragComment && draggedComment) {
    moveStart_.emplace_back(draggedComment, movedValue(draggedComment));
  }
}

void ModelView::endMoveRecording() {
  std::vector<MoveCommand::Move> moves;
  for (const auto &[node, before] : moveStart_) {
    const Vec3d after = movedValue(node);
    const std::optional<SceneSync::Ref> ref = sync_->recordOf(node);
    if (ref && !(after == before))
      moves.push_back({ref->part, ref->index, before, after});
  }
  moveStart_.clear();
  // The nodes are where the drag left them; the step moves the records there.
  if (!moves.empty())
    undoStack_->push(new MoveCommand(*document_, std::move(moves)));
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
  if (!model || !pointCloud() || pointCloud()->uploadPending()) {
    emit statusMessage(QStringLiteral("No point taken: picking is ready when the model is loaded"));
    return;
  }
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
  if (!runInBackground(this, QStringLiteral("Finding the worst points..."),
                       [&] { worst = worstPoints(*model, request); })) {
    emit statusMessage(QStringLiteral("Worst points cancelled: no banner was pinned"));
    return 0;
  }

  const ColourScale scale = bannerScale(display);
  makeCurrent();
  const GLMatrices frame = currentMatrices();
  const std::array<double, 16> &modelView = frame.modelView;
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
  scene_->numberCallouts(); // the ids widen the labels
  picking::spreadLabelsOnScreen(labels, modelView, frame.projection, frame.viewport);
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
