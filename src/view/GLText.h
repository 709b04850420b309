#pragma once
#include "geometry/Vec3d.h"
#include "view/GL3DTextList.h"

// A comment on the view: outline text at a window position (pixels from the bottom-left
// corner), turned by an angle, optionally on a light box; selectable and movable.
class GLText : public GL3DTextList {
public:
  static constexpr double kMinSize = 10.0;

  // Size below 10 becomes 10; the angle is clamped to -90..90 degrees.
  GLText(ViewState *view, double x, double y, float angle, double size, const std::string &text);
  ~GLText() override = default;

  void draw(ViewState *view, int pass) override; // slot 5
  bool moveBy(Vec3d offset) override;            // slot 9: x and y move
  bool moveTo(Vec3d position) override;          // slot 10
  // slot 28: in a comment the scale slot sets the text height (at least 10 pixels).
  void setScale(float s) override { setSize(s); }

  void setSize(double s);
  double size() const { return size_; }
  float angle() const { return angle_; }

  // Whether window pixel (x, y down) lies on the text box turned by angle; viewportHeight
  // is the height of the window the comment is drawn in.
  bool hitTest(int x, int y, float angle, int viewportHeight);
  // As above with the height of the current GL viewport.
  bool hitTestCurrentViewport(int x, int y, float angle);

  static float clampAngle(float a);

  Vec3d position;
  bool fill = false;

private:
  double size_ = kMinSize;
  float angle_ = 0.0f;
};
