#pragma once
#include "scene/SceneNode.h"

#include <string>

// Scale bar at the bottom right of the view: a line standing for a round length (1 to 9
// times a power of ten) in model units, labelled with that length and its unit.
class ScaleNode : public DrawableNode {
public:
  ScaleNode(ViewState *view, float x, float y, int units);

  void draw(ViewState *view, int pass) override;

  // The round length shown for a window that spans `span` world units (already in display
  // units): 1 to 9 times the power of ten below a tenth of it.
  static float shownLength(float span);
  // "%f" of the length with trailing zeros (and a bare point) cut, then the unit.
  static std::string label(float length, int units);

  float x;   // not used by the drawing
  float y;   // window height of the line's right end
  int units; // 1 millimetres, 2 inches
};
