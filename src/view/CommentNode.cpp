#include "view/CommentNode.h"

#include "scene/GLTextList.h"
#include "scene/ViewState.h"

#include <GL/gl.h>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <numbers>

CommentNode::CommentNode(ViewState *view, double x, double y, float angle, double size,
                         const std::string &text)
    : TextNode(view), position(x, y, 0) {
  setSize(size);
  angle_ = clampAngle(angle);
  setText(text);
}

void CommentNode::setText(const std::string &utf8) {
  text_ = utf8;
  // One glyph list per Latin-1 character: what has none shows as '?' (toLatin1's stand-in).
  lines_.clear();
  const QStringList lines = QString::fromUtf8(QByteArray::fromStdString(utf8)).split('\n');
  for (QString line : lines) {
    if (lines_.size() == kMaxLines)
      break;
    line.remove('\r');
    lines_.push_back(line.toLatin1().toStdString());
  }
}

float CommentNode::clampAngle(float a) {
  if (std::isnan(a))
    return 0.0f;
  return std::clamp(a, -90.0f, 90.0f);
}

void CommentNode::setSize(double s) {
  // Also catches NaN, which would otherwise slip past a plain max.
  size_ = s >= kMinSize ? s : kMinSize;
}

bool CommentNode::moveBy(Vec3d offset) {
  position.x += offset.x;
  position.y += offset.y;
  return true;
}

bool CommentNode::moveTo(Vec3d p) {
  position = p;
  return true;
}

bool CommentNode::hitTestCurrentViewport(int x, int y, float angle) {
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  return hitTest(x, y, angle, vp[3]);
}

bool CommentNode::hitTest(int x, int y, float angle, int viewportHeight) {
  // The cache is filled by drawing; refresh it so a comment is hittable before its first frame.
  const float width = textWidth();
  const float boxW = static_cast<float>(width * size_ * 1.1407389898578169);
  const float boxH = static_cast<float>(size_ * 0.9833333333333333 *
                                        double(std::max<std::size_t>(1, lines_.size())));
  const double dx = x - position.x;
  const double dy = (viewportHeight - y) - position.y;
  const float theta = static_cast<float>(-clampAngle(angle) * std::numbers::pi / 180.0);
  const double rx = std::cos(theta) * dx - std::sin(theta) * dy;
  const double ry = std::sin(theta) * dx + std::cos(theta) * dy;
  const int x0 = static_cast<int>(position.x);
  const int y0 = static_cast<int>(position.y);
  const int xr = static_cast<int>(position.x + rx);
  const int yr = static_cast<int>(position.y + ry);
  return x0 < xr && xr < static_cast<int>(position.x + boxW) && y0 < yr &&
         yr < static_cast<int>(position.y + boxH);
}

void CommentNode::draw(ViewState *view, int /*pass*/) {
  if (!visible || !drawsInto(view))
    return;
  const float width = textWidth();
  const float rows = static_cast<float>(std::max<std::size_t>(1, lines_.size()));

  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  const WindowRect r = view ? view->windowRect() : WindowRect{0, 0, vp[2], vp[3]};

  saveClipPlanes(view);
  // Culling and winding are restored afterwards: glyph polygons must show whatever their
  // winding, and the rest of the frame keeps its own state.
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, r.width, 0, r.height, 100, -100);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDepthMask(GL_FALSE);

  glTranslatef(static_cast<float>(position.x), static_cast<float>(position.y), -10.0f);
  const float s = static_cast<float>(size_);
  glScalef(s, s, s);
  glRotatef(angle_, 0, 0, 1);

  if (fill) {
    glColor3d(1, 1, 0.9);
    glBegin(GL_POLYGON);
    glVertex2f(0, 0);
    glVertex2f(width + 0.6f, 0);
    glVertex2f(width + 0.6f, rows);
    glVertex2f(0, rows);
    glEnd();
    glLineWidth(1);
  }

  if (isSelected())
    glColor3d(1, 0, 1);
  else
    glColor3d(0.2, 0.2, 0.2);
  if (fontSelector == kOutlineFont && GLTextList::outlineFontReady()) {
    const GLuint base = GLTextList::outlineListBase();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const std::string &line = lines_[i];
      glPushMatrix();
      // The first line on top; the position is the bottom-left corner of the last.
      glTranslatef(0.3f, 0.2f + rows - 1.0f - static_cast<float>(i), 0.05f);
      // One list per byte: the text is never interpreted, so '%' and the like show as is.
      for (unsigned char ch : line)
        glCallList(base + ch);
      glPopMatrix();
    }
  }

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glDepthMask(GL_TRUE);
  glPopAttrib();
  glEnable(GL_LIGHTING);
  glFrontFace(GL_CCW);
  restoreClipPlanes(view);
}
