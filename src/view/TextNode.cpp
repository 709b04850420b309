#include "view/TextNode.h"

#include "scene/GLTextList.h"

#include <algorithm>

void TextNode::setLine(std::size_t index, const std::string &text) {
  if (index >= kMaxLines)
    return;
  if (index >= lines_.size())
    lines_.resize(index + 1);
  lines_[index] = text;
}

float TextNode::textWidth() {
  // The widest line sizes the box, so a longer later line never sticks out of the fill.
  float w = 0.0f;
  for (const std::string &line : lines_)
    w = std::max(w, GLTextList::outlineWidth(line, fontSelector));
  width_ = w;
  return w;
}
