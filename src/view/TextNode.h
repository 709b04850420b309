#pragma once
#include "scene/SceneNode.h"

#include <string>
#include <vector>

// Base of text nodes: up to 12 owned lines in a chosen outline font, a scale and a cache of
// the text width in font units.
class TextNode : public DrawableNode {
public:
  static constexpr std::size_t kMaxLines = 12;
  // The outline font of the view; 1 names a second font that is never built.
  static constexpr int kOutlineFont = 2;

  explicit TextNode(ViewState *view) : DrawableNode(view) {}
  ~TextNode() override = default;

  virtual void setScale(float s) { scale_ = s; }
  float scale() const { return scale_; }

  // Lines beyond the 12th are dropped.
  void setLine(std::size_t index, const std::string &text);
  const std::vector<std::string> &lines() const { return lines_; }

  int fontSelector = kOutlineFont;

  // Width of the widest line in outline-font units; also refreshes the cache.
  float textWidth();
  float cachedWidth() const { return width_; }

protected:
  std::vector<std::string> lines_;
  float scale_ = 1.0f;
  float width_ = 0.0f;
};
