#pragma once
#include "analysis/DisplaySettings.h"
#include "geometry/Vec3d.h"
#include "scene/ViewRotation.h"

class GLTextList;

// Window rectangle of a view in pixels: left, bottom, width, height.
struct WindowRect {
  int left = 0, bottom = 0, width = 0, height = 0;
};

// Mouse modes of the 3D view.
enum class MouseMode { Pan = 0, Rotate = 1, Idle = 2, Zoom = 3, DragBanners = 4, DragComment = 5 };

// Everything a frame depends on: camera, window size and display settings. The widget
// (ModelView) derives from it, and an offscreen renderer fills one directly, so the same frame
// can be drawn into any context. Scene nodes see their view through this type.
class ViewState {
public:
  virtual ~ViewState() = default;

  // The display settings of this view's window; the apply step copies what the point cloud
  // draws with into it.
  DisplaySettings display;
  // The legend, scale bar and axes drawn over the model. A printed page turns them off and
  // paints its own at print size: here they are sized in pixels.
  bool overlays = true;

  // Camera. The model-view matrix of a frame is
  //   T(-panX * p, panY * p, -distance) * R * T(-centre),  p = pixelSize(),
  // so the model turns about its box centre, the camera stands `distance` in front of that
  // centre, and a pan of n pixels moves the model n pixels on screen at any distance.
  double fieldOfView = 45.0;   // vertical, degrees
  double pendingRotationX = 0; // accumulated vertical motion, not yet folded in
  double pendingRotationY = 0;
  double distance = 0.01;    // from the eye to the centre, world units
  double panX = 0, panY = 0; // pixels
  double dragDeltaX = 0, dragDeltaY = 0;
  Vec3d centre{};        // the point the camera looks at and turns about
  ViewRotation rotation; // R, this view's own
  Vec3d boundsMin{}, boundsMax{};

  // Interaction.
  bool showModel = true;
  int hoveredPoint = -1;
  bool interacting = false;
  bool ctrlHeld = false;
  MouseMode mouseMode = MouseMode::Idle;

  // Frame pacing. While a button is held and the last full frame took longer than the
  // budget, large models are drawn decimated; uploads of a large model take slices of it.
  double frameBudgetMs = 50;
  double lastFullFrameMs = 0; // measured (glFinish included); 0 until a full frame ran
  bool overBudget() const { return frameBudgetMs > 0 && lastFullFrameMs > frameBudgetMs; }
  // A window the user works in: large uploads are spread over frames and a decimated mesh
  // is prepared for dragging. Off (offscreen renders, snapshots) every frame is complete.
  bool liveWindow = false;

  // Size of the drawable in pixels; the widget keeps it up to date on resize.
  int viewWidth = 900;
  int viewHeight = 600;

  // Font lists of this view's scene (created on the first frame), for nodes that print.
  GLTextList *textList = nullptr;

  WindowRect windowRect() const { return {0, 0, viewWidth, viewHeight}; }

  // distance / window diagonal in pixels.
  double worldUnitsPerPixel() const;
  // World length of one pixel at the centre's depth, from the perspective projection.
  double pixelSize() const;

  // Centre of the bounds, or the origin when they hold nothing (an inverted or non-finite
  // box).
  Vec3d boundsCentre() const;
  // Radius of the sphere around boundsCentre() that holds the bounds (0 for none).
  double boundsRadius() const;
  // Centres the camera on the bounds and fits the distance so that their bounding sphere
  // fills the narrower field of view with a margin, whatever the rotation.
  void zoomToFit();

  // Near and far clipping distances for the current distance: around the model's sphere with
  // room for the section plane and the axes, never closer than a small fraction of the
  // distance, so the depth buffer keeps its precision and zooming close still shows the
  // surface.
  struct DepthRange {
    double nearPlane = 1, farPlane = 2;
  };
  DepthRange depthRange() const;

  // Moves the camera `factor` times as far from the centre. The pan is rescaled with the
  // pixel size so that what shows at the window's centre stays there.
  void zoomBy(double factor);

  // Puts the camera of a freshly opened file on this view: the standard orientation (top,
  // x right, y up), no pan, nothing pending, fitted.
  void resetCamera();

  // Records which of clip planes 1 and 2 are enabled and disables them; restore re-enables
  // the recorded ones. Text drawing brackets itself with these.
  void saveClipPlanes();
  void restoreClipPlanes();

private:
  bool clipSaved_[2] = {false, false};
};
