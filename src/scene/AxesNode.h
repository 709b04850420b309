#pragma once
#include "scene/SceneNode.h"

#include <array>

// Coordinate axes placed by an origin and two axes; the base draws nothing.
class AxesBase : public DrawableNode {
public:
  AxesBase(ViewState *view, Vec3d origin, Vec3d xAxis, Vec3d yAxis);

  void draw(ViewState *, int) override {}
  virtual void setMarker(Vec3d marker) { marker_ = marker; }

  const std::array<double, 16> &frameMatrix() const { return frame_; }
  Vec3d marker() const { return marker_; }

protected:
  std::array<double, 16> frame_{};
  Vec3d marker_{};
};

// The drawn axes: a red, green and blue triad with cone arrowheads and X, Y, Z labels at
// the origin, sized from the camera distance, and a small triad pinned near the window's
// lower-left corner that turns with the model.
class AxesNode : public AxesBase {
public:
  AxesNode(ViewState *view, Vec3d origin, Vec3d xAxis, Vec3d yAxis)
      : AxesBase(view, origin, xAxis, yAxis) {}

  void draw(ViewState *view, int pass) override; // the origin triad
  // The corner triad at window position (x, y of windowPos), using the current matrices.
  virtual void drawCornerTriad(ViewState *view, int pass, Vec3d windowPos, Vec3d xAxis,
                               Vec3d yAxis);

  // Axis length of the origin triad: distance x 0.0001 x the larger window side.
  static double axisLength(double distance, int width, int height);
  // Axis length of the corner triad: the larger window side x 0.00007.
  static double cornerAxisLength(int width, int height);
};
