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
    // A freshly opened session file: the default tolerances, the view's point filter, the
    // mesh (or the points of a file without triangles).
    const DisplaySettings defaults;
    node->display.upperTolerance = defaults.upperTolerance;
    node->display.lowerTolerance = defaults.lowerTolerance;
    view.display.upperTolerance = defaults.upperTolerance;
    view.display.lowerTolerance = defaults.lowerTolerance;
    node->display.pointFilter = view.display.pointFilter;
    node->display.displayMode = DisplayMode::Triangles;
    node->display.pointSize = PointSize::Triangles;
    m->deviationMode = 3;
    if (m->triangleCount <= 0) {
      // Without triangles there is no surface to show: the points are shown instead.
      node->display.displayMode = DisplayMode::Points;
      node->display.pointSize = PointSize::S;
    }
    result.hasNominalPoints = m->hasNominalPoints();
    node->display.magnification = float(view.display.magnification);
    node->invalidate();
    view.interacting = false;
  } else {
    node->display.displayMode = DisplayMode::Points;
    node->invalidate();
  }
  // The settings the dialog shows and applies start from what the node shows.
  view.display.displayMode = node->display.displayMode;
  view.display.pointSize = node->display.pointSize;
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
