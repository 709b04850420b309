#pragma once
#include "scene/SceneNode.h"

#include <vector>

// A translucent polygon (opacity 0.2) in the base colour, magenta when selected; shows the
// cutting plane of a section. Drawn after the model so that the model shows through it.
class TransparentPlane : public BodyNode {
public:
  TransparentPlane(ViewState *view, std::vector<Vec3d> corners);

  // Draws the plane (draw() draws nothing). Restores the blending, normalisation,
  // culling and material state it changes, so later drawing is unaffected.
  virtual void drawPlane(ViewState *view, int pass);
  void transform(Placement p) override; // places every corner
  bool isTransparent() override { return true; }

  const std::vector<Vec3d> &corners() const { return corners_; }

private:
  std::vector<Vec3d> corners_;
};
