#include "view/PolylineNode.h"

#include <GL/gl.h>
#include <algorithm>

namespace {
double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
} // namespace

PolylineNode::PolylineNode(ViewState *view, std::size_t count, const Vec3d *points)
    : DrawableNode(view), points_(points ? points : nullptr, points ? points + count : nullptr),
      colours_(points_.size()) {
  width = 3;
}

PolylineNode::~PolylineNode() = default;

void PolylineNode::setVertexColour(std::size_t index, const Colour &colour) {
  if (index < colours_.size())
    colours_[index] = colour;
}

void PolylineNode::draw(ViewState *view, int) {
  if (!visible || !drawsInto(view))
    return;
  glDisable(GL_LIGHTING);
  if (isSelected())
    glColor3d(1, 0, 1);
  else
    applyColour();
  if (stippleMode == 2)
    glLineStipple(1, 0x00FF);
  glLineWidth(static_cast<GLfloat>(width));
  glPointSize(3.5f);
  glBegin(primitive ? GL_POLYGON : GL_POINTS);
  for (std::size_t i = 0; i < points_.size(); ++i) {
    if (perVertexColours) {
      const Colour &c = colours_[i];
      glColor3d(clamp01(c.r), clamp01(c.g), clamp01(c.b));
    }
    glVertex3d(points_[i].x, points_[i].y, points_[i].z);
  }
  glEnd();
  glLineWidth(1);
  glEnable(GL_LIGHTING);
}
