#pragma once
#include "geometry/Vec3d.h"
#include "view/TextNode.h"

// A comment on the view: outline text at a window position (pixels from the bottom-left
// corner), turned by an angle, optionally on a light box; selectable and movable. The text is
// kept as given (UTF-8, with its line breaks) and drawn one line under the other, the first on
// top; characters the outline font has no glyph for show as '?'.
class CommentNode : public TextNode {
public:
  static constexpr double kMinSize = 10.0;

  // Size below 10 becomes 10; the angle is clamped to -90..90 degrees.
  CommentNode(ViewState *view, double x, double y, float angle, double size,
              const std::string &text);
  ~CommentNode() override = default;

  void draw(ViewState *view, int pass) override;
  bool moveBy(Vec3d offset) override; // X and y move
  bool moveTo(Vec3d position) override;
  // In a comment the scale slot sets the text height (at least 10 pixels).
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

  // The text as given, and what replaces it (the drawn lines follow).
  const std::string &text() const { return text_; }
  void setText(const std::string &utf8);

  Vec3d position;
  bool fill = false;

private:
  std::string text_;
  double size_ = kMinSize;
  float angle_ = 0.0f;
};
