#pragma once
#include "analysis/ColourScale.h"
#include "geometry/Vec3d.h"
#include "scene/SceneNode.h"

#include <cstddef>
#include <string>
#include <vector>

// A row of 3D vertices drawn as points (or as one filled polygon), optionally coloured per
// vertex; the section curve is one of these.
class PolylineNode : public DrawableNode {
public:
  // Copies count points; every vertex colour starts black. Drawn as points, line stipple
  // mode 1, width 3.
  PolylineNode(ViewState *view, std::size_t count, const Vec3d *points);
  ~PolylineNode() override;

  void draw(ViewState *view, int pass) override;

  std::size_t count() const { return points_.size(); }
  const std::vector<Vec3d> &points() const { return points_; }
  const std::vector<Colour> &colours() const { return colours_; }
  // Ignored for an index past the last vertex.
  void setVertexColour(std::size_t index, const Colour &colour);

  bool primitive = false; // false: points; true: one filled polygon
  int stippleMode = 1;    // 2: line stipple factor 1, pattern 0x00FF
  bool perVertexColours = false;
  // Per vertex, when the row is a section: the deviation of each point's nearest measured
  // point (what the section's CSV export writes beside the colour).
  std::vector<float> deviations;
  // When the row is a section: the plane it was cut with ("X/Y", "Y/Z" or "X/Z") and the
  // plane's point, so the section can be saved and made again.
  std::string sectionPlane;
  Vec3d sectionPoint;

private:
  std::vector<Vec3d> points_;
  std::vector<Colour> colours_;
};
