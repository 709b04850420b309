#pragma once
#include "geometry/Vec3d.h"
#include "records/Annotations.h"
#include "scene/GLTextList.h"
#include "scene/NodeList.h"
#include "view/Picking.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class LegendNode;
class GLPointCloud;
class AxesNode;
class ScaleNode;
class GLTextList;
class SessionModel;
class TransparentPlane;
class ViewState;

// What a 3D view draws: scale, axes, fonts, section plane, the model and the legend, the
// banner, distance, comment and section curve lists. It draws into whatever GL context is current,
// from a ViewState alone, so a window and an offscreen renderer produce the same frame.
class ViewScene {
public:
  explicit ViewScene(ViewState &view);
  ~ViewScene();

  ViewScene(const ViewScene &) = delete;
  ViewScene &operator=(const ViewScene &) = delete;

  // The fixed GL state of a fresh context (culling, smooth shading, light 0, depth test,
  // black clear colour). Call once per context.
  static void setUpContextState();
  // Viewport and perspective projection for the view's window size.
  static void setProjection(const ViewState &view);

  // Renders one frame (without swapping buffers) with view's camera and settings.
  void draw(ViewState &view);
  // Gives every banner and distance label its callout id by list order (B1, B2, ...; D1,
  // ...), as the callout table numbers them. Whatever changes the lists calls it (the
  // window's sync, a record applied, the worst-point layout that needs the final widths);
  // frames do not.
  void numberCallouts();

  // Pushes the view's settings into the point cloud node, rebuilds the legend and asks for
  // a frame; does nothing without a point cloud.
  void applySettings(ViewState &view);

  // Stores the four corners and shows a new transparent plane through them.
  void setPlaneCorners(const std::array<Vec3d, 4> &corners);
  // Drops the plane.
  void clearPlane();

  // The current GL matrices and the depth values of the pixels within `radius` of window
  // pixel (x, y down), for picking. Needs a current context.
  picking::FrameSample sampleAround(int x, int y, int radius = picking::kSnapPixels) const;

  // The point cloud of the loaded file (the last node appended to the models list), or null.
  GLPointCloud *pointCloud() const { return pointCloud_; }
  // The model the point cloud shows, or null.
  const SessionModel *shownModel() const;
  // Appends a node to the models list and makes it the point cloud.
  void addPointCloud(GLPointCloud *node);
  // Destroys every model node (and with it its model).
  void clearModels();

  // Rebuilds the legend from the view's tolerances and bars with the given gradient.
  void rebuildLegend(ViewState &view, bool gradient);

  ScaleNode *scale() const;
  AxesNode *axes() const;
  GLTextList *textList() const { return textList_.get(); }
  TransparentPlane *plane() const;
  LegendNode *legend() const;
  const std::array<Vec3d, 4> &planeCorners() const { return planeCorners_; }

  NodeList models;
  NodeList banners;
  NodeList distances; // DistanceNode nodes, drawn after the banners
  NodeList sectionCurves;
  // The plane and point of the section curve shown, kept beside its node so that saving
  // reads a record rather than a node.
  std::optional<SectionRecord> section;
  NodeList comments;

  // "Uploading model... N %" while the model's arrays are still being uploaded; empty once
  // the model can be drawn in full.
  std::string uploadStatus() const;

  // Status-bar texts of the apply step ("Is loading....", "Ready") and of uploads; unset:
  // none.
  std::function<void(const char *)> showStatus;
  // Asks the owner to render a frame (the window repaints); unset: nothing.
  std::function<void()> requestFrame;

private:
  void ensureTextList(ViewState &view);
  // The legend's share per colour entry of the point cloud's deviations; recounted only when
  // the model or the legend's colour settings change, not every frame.
  const std::vector<double> &legendShares();

  struct ShareKey {
    const float *values = nullptr;
    std::size_t count = 0;
    float upper = 0, lower = 0;
    int bars = 0, layout = 0;
    bool gradient = false, extended = false;
    friend bool operator==(const ShareKey &, const ShareKey &) = default;
  };
  struct ShareCache {
    bool valid = false;
    ShareKey key;
    std::vector<double> shares;
  };
  ShareCache shares_;

  // Held through their base so that this header needs only forward declarations.
  std::unique_ptr<SceneNode> scale_;
  std::unique_ptr<SceneNode> axes_;
  std::unique_ptr<GLTextList> textList_;
  std::unique_ptr<SceneNode> plane_;
  std::array<Vec3d, 4> planeCorners_{};
  std::unique_ptr<SceneNode> legend_;
  GLPointCloud *pointCloud_ = nullptr;
  ViewState *view_;
};
