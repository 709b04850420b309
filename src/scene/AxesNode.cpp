#include "scene/AxesNode.h"

#include "scene/GLTextList.h"
#include "scene/ViewState.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace {

std::array<double, 16> frameFromAxes(Vec3d origin, Vec3d xAxis, Vec3d yAxis) {
  Placement p;
  // Axes that are not orthogonal are refused and the identity frame kept.
  p.setFromAxes(origin, normalised(xAxis), normalised(yAxis));
  return p.glMatrix(1.0);
}

void text(ViewState *view, const char *s, double x, double y, double z) {
  if (view && view->textList)
    view->textList->drawText(s, x, y, z, 1.0);
}

} // namespace

AxesBase::AxesBase(ViewState *view, Vec3d origin, Vec3d xAxis, Vec3d yAxis)
    : DrawableNode(view), frame_(frameFromAxes(origin, xAxis, yAxis)) {}

double AxesNode::axisLength(double distance, int width, int height) {
  return distance * 0.0001 * std::max(width, height);
}

double AxesNode::cornerAxisLength(int width, int height) {
  return std::max(width, height) * 0.00007;
}

void AxesNode::draw(ViewState *view, int) {
  if (!visible || !view)
    return;
  const WindowRect rect = view->windowRect();
  const double L = axisLength(view->distance, rect.width, rect.height);
  const double r = 0.06 * L;
  const double a = 3 * r;
  const double t = 1.05 * (L + a);

  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixd(frame_.data());
  glPushAttrib(GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);

  GLUquadric *q = gluNewQuadric();
  struct Axis {
    double dir[3];
    float rotAngle, rx, ry, rz;
    double base[3];
    const char *label;
  };
  const Axis axes[3] = {
      {{1, 0, 0}, 90, 0, 1, 0, {0.5, 0, 0}, "X"},
      {{0, 1, 0}, 90, -1, 0, 0, {0, 0.5, 0}, "Y"},
      {{0, 0, 1}, 0, 0, 0, 0, {0, 0, 0.5}, "Z"},
  };
  for (const Axis &ax : axes) {
    glBegin(GL_LINES);
    glColor3d(ax.dir[0], ax.dir[1], ax.dir[2]);
    glVertex3d(0, 0, 0);
    glVertex3d(L * ax.dir[0], L * ax.dir[1], L * ax.dir[2]);
    glEnd();
    glPushMatrix();
    glTranslatef(float(L * ax.dir[0]), float(L * ax.dir[1]), float(L * ax.dir[2]));
    if (ax.rotAngle != 0)
      glRotatef(ax.rotAngle, ax.rx, ax.ry, ax.rz);
    if (q) {
      gluQuadricOrientation(q, GLU_OUTSIDE);
      gluCylinder(q, r, 0, a, 8, 1);
      glColor3d(ax.base[0], ax.base[1], ax.base[2]);
      gluQuadricOrientation(q, GLU_INSIDE);
      gluDisk(q, 0, r, 8, 1);
    }
    glPopMatrix();
    glColor3d(ax.dir[0], ax.dir[1], ax.dir[2]);
    text(view, ax.label, t * ax.dir[0], t * ax.dir[1], t * ax.dir[2]);
  }
  if (q)
    gluDeleteQuadric(q);

  glEnable(GL_LIGHTING);
  glPopAttrib();
  glPopMatrix();
}

void AxesNode::drawCornerTriad(ViewState *view, int, Vec3d windowPos, Vec3d xAxis, Vec3d yAxis) {
  if (!visible || !view)
    return;
  GLint viewport[4];
  GLdouble model[16], proj[16];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glGetDoublev(GL_PROJECTION_MATRIX, proj);
  // The triad's size and place are made for a lens with its near plane at 1 and no far
  // plane. The view chooses its clipping planes around the model; the triad keeps its own,
  // so it has the same size on screen and stays in front of the model whatever they are.
  const bool perspective = proj[11] == -1.0 && proj[15] == 0.0;
  if (perspective) {
    proj[10] = -1.0;
    proj[14] = -2.0;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadMatrixd(proj);
  }
  Vec3d origin{};
  if (gluUnProject(windowPos.x, windowPos.y, 0.19, model, proj, viewport, &origin.x, &origin.y,
                   &origin.z) != GL_TRUE) {
    if (perspective) {
      glMatrixMode(GL_PROJECTION);
      glPopMatrix();
    }
    return; // singular matrices: no place to put the triad
  }
  const std::array<double, 16> m = frameFromAxes(origin, xAxis, yAxis);
  const WindowRect rect = view->windowRect();
  const double L = cornerAxisLength(rect.width, rect.height);
  const double t = 1.05 * (L + 3 * 0.06 * L);

  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixd(m.data());
  glPushAttrib(GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  const char *labels[3] = {"X", "Y", "Z"};
  for (int i = 0; i < 3; ++i) {
    const double d[3] = {i == 0 ? 1.0 : 0.0, i == 1 ? 1.0 : 0.0, i == 2 ? 1.0 : 0.0};
    glColor3d(d[0], d[1], d[2]);
    glBegin(GL_LINES);
    glVertex3d(0, 0, 0);
    glVertex3d(L * d[0], L * d[1], L * d[2]);
    glEnd();
    text(view, labels[i], t * d[0], t * d[1], t * d[2]);
  }
  glEnable(GL_LIGHTING);
  glPopAttrib();
  glPopMatrix();
  if (perspective) {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
  }
}
