#pragma once
#include "geometry/Vec3d.h"
#include "scene/SceneNode.h"

#include <string>
#include <vector>

// Data of a point label: the labelled point, up to 120 text lines and the look switches.
// Box size in pixels follows from the first two lines, so hit test and drawing agree.
class LabelNode : public DrawableNode {
public:
  static constexpr std::size_t kMaxLines = 120;

  explicit LabelNode(ViewState *view);
  ~LabelNode() override = default;

  // Appends a line; lines beyond the 120th are dropped.
  void addLine(const std::string &text);
  void setLine(std::size_t index, const std::string &text);
  const std::vector<std::string> &lines() const { return lines_; }
  // Line `index` as the box shows it: the first line starts with the callout id when the
  // label has one.
  std::string shownLine(std::size_t index) const;
  std::size_t lineCount() const { return lines_.size(); }

  // Characters that size the box: the longer of the first two lines plus one.
  virtual int labelChars() const;
  // Box width w = 8c + 2 and half-height h = 9 per line, in pixels.
  int labelWidth() const { return 8 * labelChars() + 2; }
  int labelHalfHeight() const { return 9 * static_cast<int>(lines_.size()); }

  Vec3d point;
  bool highlight = false;
  bool labelPlaced = false;
  bool separator = false;
  bool tab = false;
  // The engineer's note on this callout (the callout table's comment column), UTF-8.
  std::string comment;
  // "B1", "D2", ...: the callout table's id, set by the scene from the list order before
  // drawing; empty for a label outside the lists. Not part of the label's text.
  std::string calloutId;

protected:
  std::vector<std::string> lines_;
};
