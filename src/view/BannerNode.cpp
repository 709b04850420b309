#include "view/BannerNode.h"

#include "scene/GLTextList.h"
#include "scene/ViewState.h"
#include "scene/WindowOverlay.h"
#include "view/GLMatrices.h"

#include <GL/gl.h>
#include <GL/glu.h>

BannerNode::BannerNode(ViewState *view, const Vec3d &pt, const Vec3d &anchor,
                       const std::string &text)
    : LabelNode(view), labelAnchor(anchor) {
  point = pt;
  setLine(0, text);
  labelPlaced = true;
  name = "Banner";
}

bool BannerNode::moveBy(Vec3d offset) {
  labelAnchor = labelAnchor + offset;
  return true;
}

bool BannerNode::moveTo(Vec3d position) {
  labelAnchor = position;
  return true;
}

void BannerNode::setBoxOffset(const Vec3d &offset) {
  labelAnchor = point + offset;
  givenOffset_ = offset;
  givenAnchor_ = labelAnchor;
  hasGivenOffset_ = true;
}

Vec3d BannerNode::boxOffset() const {
  if (hasGivenOffset_ && labelAnchor == givenAnchor_)
    return givenOffset_;
  return labelAnchor - point;
}

bool BannerNode::hitTest(int x, int y) {
  const GLMatrices m = currentMatrices();
  return hitTestWith(x, y, m.modelView, m.projection, m.viewport);
}

bool BannerNode::hitTestWith(int x, int y, const std::array<double, 16> &modelView,
                             const std::array<double, 16> &projection,
                             const std::array<int, 4> &viewport) const {
  if (!labelPlaced)
    return false;
  double wx = 0, wy = 0, wz = 0;
  if (gluProject(labelAnchor.x, labelAnchor.y, labelAnchor.z, modelView.data(), projection.data(),
                 viewport.data(), &wx, &wy, &wz) != GL_TRUE)
    return false;
  const int lx = static_cast<int>(wx);
  const int ly = static_cast<int>(viewport[3] - wy);
  const int h = labelHalfHeight();
  return lx < x && x < lx + 8 * labelChars() && ly - h < y && y < ly + h;
}

BannerNode::Layout BannerNode::layout(int px, int /*py*/, int lx, int ly) const {
  Layout l;
  l.width = labelWidth();
  l.halfHeight = labelHalfHeight();
  const int c = labelChars();
  // A centre exactly above the point counts as right of it.
  l.leftOfPoint = lx + 4 * c + 1 < px;
  l.leaderEndX = l.leftOfPoint ? lx + l.width + (tab ? 10 : 0) : lx;
  l.boxX = (tab && !l.leftOfPoint) ? lx + 10 : lx;
  l.boxY = ly;
  return l;
}

void BannerNode::draw(ViewState *view, int pass) {
  if (!visible || !drawsInto(view))
    return;
  glDisable(GL_LIGHTING);
  saveClipPlanes(view);

  const GLMatrices m = currentMatrices();
  double pxd = 0, pyd = 0, lxd = 0, lyd = 0;
  const bool projected =
      projectToWindow(point, m, pxd, pyd) && projectToWindow(labelAnchor, m, lxd, lyd);
  if (!projected) {
    restoreClipPlanes(view);
    glEnable(GL_LIGHTING);
    return;
  }
  const int lx = static_cast<int>(lxd);
  const int ly = static_cast<int>(lyd);

  const WindowRect r = view ? view->windowRect() : WindowRect{0, 0, m.viewport[2], m.viewport[3]};
  beginWindowOverlay(r.width, r.height);

  const double cr = isSelected() ? 1.0 : red();
  const double cg = isSelected() ? 0.0 : green();
  const double cb = isSelected() ? 1.0 : blue();
  auto bannerColour = [&] { glColor3d(cr, cg, cb); };
  bannerColour();

  const Layout l = layout(static_cast<int>(pxd), static_cast<int>(pyd), lx, ly);
  const int w = l.width, h = l.halfHeight;
  if (labelPlaced) {
    // Own and Deviation both draw the banner's colour, the colour of its deviation.
    switch (view ? view->display.bannerLineColour : BannerLineColour::Own) {
    case BannerLineColour::White:
      glColor3d(1, 1, 1);
      break;
    case BannerLineColour::Black:
      glColor3d(0, 0, 0);
      break;
    case BannerLineColour::Deviation:
      bannerColour();
      break;
    case BannerLineColour::Own:
      break;
    }
    glBegin(GL_LINES);
    glVertex2d(pxd, pyd);
    glVertex2i(l.leaderEndX, ly);
    glEnd();
  }

  bannerColour();
  int x0 = lx;
  const int y0 = ly;
  if (tab) {
    glBegin(GL_POLYGON);
    if (!l.leftOfPoint) {
      glVertex2i(x0, y0);
      glVertex2i(x0 + 10, y0 - h);
      glVertex2i(x0 + 10, y0 + h);
      glVertex2i(x0, y0);
    } else {
      glVertex2i(x0 + w + 10, y0);
      glVertex2i(x0 + w, y0 + h);
      glVertex2i(x0 + w, y0 - h);
      glVertex2i(x0 + w + 10, y0);
    }
    glEnd();
  }
  x0 = l.boxX;

  glLineWidth(3);
  glBegin(GL_LINES);
  glVertex2i(x0 + w, y0 + h);
  glVertex2i(x0, y0 + h);
  glEnd();
  glLineWidth(1);
  glBegin(GL_LINE_STRIP);
  glVertex2i(x0, y0 - h);
  glVertex2i(x0 + w, y0 - h);
  glVertex2i(x0 + w, y0 + h);
  glVertex2i(x0, y0 + h);
  glVertex2i(x0, y0 - h);
  glEnd();

  if (highlight) {
    glColor3d(1, 1, 0.9);
    glBegin(GL_POLYGON);
    glVertex2i(x0 + 1, y0 - h + 1);
    glVertex2i(x0 + w, y0 - h + 1);
    glVertex2i(x0 + w, y0 + h);
    glVertex2i(x0 + 1, y0 + h);
    glEnd();
  }
  if (separator) {
    bannerColour();
    glLineWidth(1);
    glBegin(GL_LINES);
    glVertex2i(x0 + w, y0 + h - 16);
    glVertex2i(x0, y0 + h - 16);
    glEnd();
  }

  if (highlight)
    glColor3d(0, 0, 0.01);
  else
    glColor3d(1, 1, 1);
  if (view && view->textList) {
    int y = static_cast<int>(y0 + h - 12);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      view->textList->drawText(shownLine(i), x0 + 2, y, 0, 10);
      y -= 18;
    }
  }
  (void)pass;

  endWindowOverlay();
  restoreClipPlanes(view);
}
