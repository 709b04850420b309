#pragma once
#include "geometry/Vec3d.h"

class GLTextList;

// Window rectangle of a view in pixels: left, bottom, width, height.
struct WindowRect {
  int left = 0, bottom = 0, width = 0, height = 0;
};

// Mouse modes of the 3D view.
enum class MouseMode { Pan = 0, Rotate = 1, Idle = 2, Zoom = 3, DragBanners = 4, DragComment = 5 };

// Everything a frame depends on: camera, window size and display settings. The widget
// (view3d) derives from it, and an offscreen renderer fills one directly, so the same frame
// can be drawn into any context. Scene nodes see their view through this type.
class ViewState {
public:
  virtual ~ViewState() = default;

  // Display settings, copied into the point cloud by the apply step.
  int displayMode = 4; // 1 points, 4 triangles
  int pointSize = 0;   // 1 S, 2 M, 3 L, 0 with triangles
  int pointFilter = 0; // 0 all points, 2 only outside the tolerance
  double upperTolerance = 0.25;
  double lowerTolerance = -0.25;
  double magnification = 1.0;
  int colourBars = 15;

  // Camera.
  double fieldOfView = 45.0;
  double pendingRotationX = 0; // accumulated vertical motion, not yet folded in
  double pendingRotationY = 0;
  double distance = 0.01;
  double panX = 0, panY = 0;
  double dragDeltaX = 0, dragDeltaY = 0;
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

  // Distance that fits the bounding box (1.6 x its x or y extent) into the window.
  void zoomToFit();

  // Records which of clip planes 1 and 2 are enabled and disables them; restore re-enables
  // the recorded ones. Text drawing brackets itself with these.
  void saveClipPlanes();
  void restoreClipPlanes();

private:
  bool clipSaved_[2] = {false, false};
};
