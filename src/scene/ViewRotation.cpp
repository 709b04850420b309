#include "scene/ViewRotation.h"

#include "scene/ViewState.h"

#include <GL/gl.h>
#include <cmath>

ViewRotation::ViewRotation() { reset(); }

void ViewRotation::reset() {
  accumulated = identity();
  incrementX.fill(0.0);
  incrementY.fill(0.0);
}

void ViewRotation::setOrientation(const Vec3d &right, const Vec3d &up) {
  reset();
  // The rows of the rotation are the screen axes in world coordinates; column-major storage
  // puts row i, column j at [j * 4 + i].
  const Vec3d back = cross(right, up);
  const Vec3d rows[3] = {right, up, back};
  for (int i = 0; i < 3; ++i) {
    accumulated[0 * 4 + i] = rows[i].x;
    accumulated[1 * 4 + i] = rows[i].y;
    accumulated[2 * 4 + i] = rows[i].z;
  }
}

ViewRotation::Matrix ViewRotation::identity() {
  Matrix m{};
  m[0] = m[5] = m[10] = m[15] = 1.0;
  return m;
}

ViewRotation::Matrix ViewRotation::multiply(const Matrix &a, const Matrix &b) {
  Matrix r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k)
        s += a[i * 4 + k] * b[k * 4 + j];
      r[i * 4 + j] = s;
    }
  return r;
}

namespace {
void refill(ViewRotation &r, const ViewState &view) {
  const double ax = view.pendingRotationX / -50.0;
  const double ay = view.pendingRotationY / -50.0;
  if (ax != 0.0) {
    const double c = std::cos(ax), s = std::sin(ax);
    r.incrementX = {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1};
  }
  if (ay != 0.0) {
    const double c = std::cos(ay), s = std::sin(ay);
    r.incrementY = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
  }
}

// Folding happens after the GL multiplication, so a rotation step shows from the next
// frame on.
void fold(ViewRotation &r, ViewState &view) {
  if (view.mouseMode != MouseMode::Rotate)
    return;
  if (view.pendingRotationX != 0.0) {
    r.accumulated = ViewRotation::multiply(r.accumulated, r.incrementX);
    view.pendingRotationX = 0;
  }
  if (view.pendingRotationY != 0.0) {
    r.accumulated = ViewRotation::multiply(r.accumulated, r.incrementY);
    view.pendingRotationY = 0;
  }
}
} // namespace

void ViewRotation::applyForFrame(ViewState &view) {
  refill(*this, view);
  glMultMatrixd(accumulated.data());
  fold(*this, view);
}

void ViewRotation::advance(ViewState &view) {
  refill(*this, view);
  fold(*this, view);
}
