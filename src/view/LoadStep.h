#pragma once
#include <functional>
#include <memory>
#include <string>

class GLPointCloud;
class SessionModel;
class ViewScene;
class ViewState;

// What the load step produced.
struct LoadStepResult {
  GLPointCloud *node = nullptr; // owned by the scene's models list
  bool hasNominalPoints = false;
};

// Reads path into model with the reader its name asks for (session file by a ".ses"
// suffix in any case, otherwise the point text reader). False with a message when the
// reader refuses the file.
bool readModelFile(const std::string &path, SessionModel &model, bool &isSessionFile,
                   std::string &error);

// The GUI-free half of opening a file: wraps the filled model in a point cloud node,
// applies the defaults of a freshly opened file (session files: tolerances +-0.25,
// triangles, deviation colouring; point files: points), appends the node to the scene's
// models list, copies the bounds into the view, zooms to fit and centres the scene.
// status, when set, receives "Ready" once the node is in the scene.
LoadStepResult runLoadStep(ViewState &view, ViewScene &scene, std::unique_ptr<SessionModel> model,
                           bool isSessionFile,
                           const std::function<void(const char *)> &status = {});
