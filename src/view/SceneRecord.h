#pragma once
// The one place where an annotation record meets a view: what a record sets in a ViewState,
// its point cloud, the program-wide settings and the scene's node lists, and the record read
// back from them. The window (restore and save) and the headless snapshot both use it.
#include "records/Annotations.h"
#include "records/CalloutTable.h"

#include <string>
#include <vector>

class ModelView;
class SceneNode;
class GLPointCloud;
class ViewScene;
class ViewState;

// The display settings shown: the view's, its point cloud's and the program-wide ones.
DisplaySettings displaySettingsOf(const ViewState &view, const GLPointCloud *cloud);
// Sets them as the settings dialog would and applies them to the point cloud and legend.
void applyDisplaySettings(const DisplaySettings &settings, ViewState &view, ViewScene &scene);

// The camera of a view, with the view's size.
CameraRecord cameraOf(const ViewState &view);
// Sets what the record holds and keeps the view's own value for anything missing. A record
// made at another view height has its pan scaled, so the model shows at the same place.
void applyCamera(const CameraRecord &camera, ViewState &view);

// The record of a view and its scene: settings, camera, banners, distances, comments and the
// section. `session` is left empty for the caller (it knows the file and its checksum).
// Nodes that do not belong to the shown model (no point index) are left out.
Annotations captureAnnotations(const ViewState &view, const ViewScene &scene);

// The section shown, if any.
std::optional<SectionRecord> sectionOf(const ViewScene &scene);

// The nodes a record added, in list order.
struct AppliedNodes {
  std::vector<SceneNode *> banners, distances, comments;
  bool section = false;
};

// Applies a record that matches the shown model: settings, then camera, then its banners,
// distances and comments after those already in the scene, then its section (which hides the
// model, as a section made in the window does). Comment positions made at another view size
// are placed proportionally. Needs the scene's GL context current (a section replaces
// nodes). Indices outside the model are skipped (a matching record has none).
AppliedNodes applyAnnotations(const Annotations &record, ViewState &view, ViewScene &scene);

// The callout table of a window (the banners, then the distances of its document) against
// the view's tolerances, and for each row the record and the node that shows it.
struct SceneCallouts {
  std::vector<CalloutRow> rows;
  std::vector<SceneNode *> nodes; // one per row
};
SceneCallouts calloutsOf(ModelView &view);
