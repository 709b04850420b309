#include "view/GLMatrices.h"

#include <GL/gl.h>
#include <GL/glu.h>

GLMatrices currentMatrices() {
  GLMatrices m;
  glGetDoublev(GL_MODELVIEW_MATRIX, m.modelView.data());
  glGetDoublev(GL_PROJECTION_MATRIX, m.projection.data());
  glGetIntegerv(GL_VIEWPORT, m.viewport.data());
  return m;
}

std::array<double, 16> currentModelView() {
  std::array<double, 16> m{};
  glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
  return m;
}

bool projectToWindow(const Vec3d &p, const GLMatrices &m, double &wx, double &wy) {
  double wz = 0;
  return gluProject(p.x, p.y, p.z, m.modelView.data(), m.projection.data(), m.viewport.data(), &wx,
                    &wy, &wz) == GL_TRUE;
}
