#pragma once
#include <functional>
#include <memory>
#include <string>

#include "session/SessionModel.h" // readModelFile, used with the load step

class GLPointCloud;
class SessionModel;
class ViewScene;
class ViewState;

// What the load step produced.
struct LoadStepResult {
  GLPointCloud *node = nullptr; // owned by the scene's models list
  bool hasNominalPoints = false;
};

// The GUI-free half of opening a file: wraps the filled model in a point cloud node,
// applies the defaults of a freshly opened file (session files: tolerances +-0.25,
// triangles, deviation colouring; point files: points), appends the node to the scene's
// models list, copies the bounds into the view and puts the camera in the standard
// orientation, centred on the model and fitted.
// status, when set, receives "Ready" once the node is in the scene.
LoadStepResult runLoadStep(ViewState &view, ViewScene &scene, std::unique_ptr<SessionModel> model,
                           bool isSessionFile,
                           const std::function<void(const char *)> &status = {});
