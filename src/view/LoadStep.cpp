#include "view/LoadStep.h"

#include "scene/ViewState.h"
#include "session/SessionModel.h"
#include "view/ViewScene.h"

#include "scene/GLPointCloud.h"

LoadStepResult runLoadStep(ViewState &view, ViewScene &scene, std::unique_ptr<SessionModel> model,
                           bool isSessionFile, const std::function<void(const char *)> &status) {
  LoadStepResult result;
  SessionModel *m = model.get();
  auto *node = new GLPointCloud(&view, std::move(model));
  result.node = node;
  if (isSessionFile) {
    node->upperTolerance = 0.25;
    node->invalidate();
    view.upperTolerance = 0.25;
    node->lowerTolerance = -0.25;
    node->invalidate();
    view.lowerTolerance = -0.25;
    node->pointFilter = view.pointFilter;
    node->displayMode = 4;
    node->invalidate();
    m->deviationMode = 3;
    node->invalidate();
    node->width = 0;
    if (m->triangleCount <= 0) {
      // Without triangles there is no surface to show: the points are shown instead.
      node->displayMode = 1;
      node->width = 1;
    }
    result.hasNominalPoints = m->hasNominalPoints();
    node->magnification = float(view.magnification);
    node->invalidate();
    view.interacting = false;
  } else {
    node->displayMode = 1;
    node->invalidate();
  }
  // The settings the dialog shows and applies start from what the node shows.
  view.displayMode = node->displayMode;
  view.pointSize = node->width;
  const BoundingBox &box = m->GetBoundingBox();
  view.boundsMin = box.min();
  view.boundsMax = box.max();
  // A new file opens in the standard orientation, centred and fitted.
  view.resetCamera();
  view.lastFullFrameMs = 0; // the new model's frames are measured afresh
  // The status text repaints the window: by then the model is in the scene and fitted, so
  // the first frame shows it where it belongs.
  scene.addPointCloud(node);
  if (status)
    status("Ready");
  return result;
}
