#pragma once
#include "view/LabelNode.h"

#include <array>

// A point label whose box hangs at a world-space anchor, so it follows the model when the
// view turns; drawn in window pixels with a leader line to the point.
class BannerNode : public LabelNode {
public:
  BannerNode(ViewState *view, const Vec3d &point, const Vec3d &labelAnchor,
             const std::string &text);
  ~BannerNode() override = default;

  void draw(ViewState *view, int pass) override;
  bool hitTest(int x, int y) override; // window pixels, y down
  bool moveBy(Vec3d offset) override;
  bool moveTo(Vec3d position) override;

  // Hit test against given matrices and viewport instead of the current GL state.
  bool hitTestWith(int x, int y, const std::array<double, 16> &modelView,
                   const std::array<double, 16> &projection,
                   const std::array<int, 4> &viewport) const;

  // Where the pieces of the label go for a point at (px, py) and an anchor at (lx, ly),
  // window pixels with y up.
  struct Layout {
    bool leftOfPoint = false; // the box lies left of the point
    int leaderEndX = 0;       // the leader runs from the point to (leaderEndX, ly)
    int boxX = 0;             // left edge of the frame, after the tab when it is on the left
    int boxY = 0;             // vertical centre of the box
    int width = 0, halfHeight = 0;
  };
  Layout layout(int px, int py, int lx, int ly) const;

  // Where the box hangs relative to the point: labelAnchor - point. setBoxOffset places the
  // box and remembers the offset as given, so a label that was not moved since gives back
  // exactly that offset (a saved record reads back unchanged).
  void setBoxOffset(const Vec3d &offset);
  Vec3d boxOffset() const;

  Vec3d labelAnchor;
  // Index of the labelled model point; -1 when the banner was not made from a model point.
  int pointIndex = -1;

private:
  Vec3d givenOffset_, givenAnchor_;
  bool hasGivenOffset_ = false;
};
