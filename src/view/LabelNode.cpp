#include "view/LabelNode.h"

LabelNode::LabelNode(ViewState *view) : DrawableNode(view) {}

void LabelNode::addLine(const std::string &text) {
  if (lines_.size() < kMaxLines)
    lines_.push_back(text);
}

void LabelNode::setLine(std::size_t index, const std::string &text) {
  if (index >= kMaxLines)
    return;
  if (index >= lines_.size())
    lines_.resize(index + 1);
  lines_[index] = text;
}

std::string LabelNode::shownLine(std::size_t index) const {
  if (index >= lines_.size())
    return index == 0 && !calloutId.empty() ? calloutId : std::string();
  if (index != 0 || calloutId.empty())
    return lines_[index];
  return calloutId + " " + lines_[0];
}

int LabelNode::labelChars() const {
  const std::size_t first = shownLine(0).size();
  // Only the first two lines size the box; the second wins when it is not shorter.
  if (lines_.size() >= 2 && lines_[1].size() >= first)
    return static_cast<int>(lines_[1].size()) + 1;
  return static_cast<int>(first) + 1;
}
