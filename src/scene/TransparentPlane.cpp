#include "scene/TransparentPlane.h"

#include "scene/ViewState.h"

#include <GL/gl.h>

TransparentPlane::TransparentPlane(ViewState *view, std::vector<Vec3d> corners)
    : BodyNode(view), corners_(std::move(corners)) {}

void TransparentPlane::transform(Placement p) {
  for (Vec3d &c : corners_)
    c = p.transformPoint(c);
}

void TransparentPlane::drawPlane(ViewState *view, int) {
  if (!visible || !drawsInto(view))
    return;
  pushPlacementMatrix(placement_);
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT);
  glDisable(GL_LIGHTING);
  double r = red(), g = green(), b = blue();
  if (selected_)
    r = 1, g = 0, b = 1;
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1);
  glEnable(GL_NORMALIZE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glMatrixMode(GL_MODELVIEW);
  glBegin(GL_POLYGON);
  glColor4d(r, g, b, 0.2);
  for (const Vec3d &c : corners_)
    glVertex3d(c.x, c.y, c.z);
  glEnd();
  if (outline) {
    glColor3d(r, g, b);
    glBegin(GL_LINE_STRIP);
    for (const Vec3d &c : corners_)
      glVertex3d(c.x, c.y, c.z);
    glEnd();
  }
  glPopAttrib();
  glEnable(GL_LIGHTING);
  popPlacementMatrix();
}
