#pragma once
#include "geometry/Vec3d.h"

#include <array>

class ViewState;

// The accumulated camera rotation of one view, with the two incremental rotations about the
// screen x and y axes that mouse motion feeds into it. Matrices are OpenGL column-major.
class ViewRotation {
public:
  using Matrix = std::array<double, 16>;

  ViewRotation();

  Matrix accumulated; // identity at start
  Matrix incrementX;  // zero until the first rotation about x
  Matrix incrementY;

  // Refills the increments from the view's pending rotation (angle = pending / -50 rad, a
  // matrix only when its angle is not 0), multiplies the current GL matrix by the
  // accumulated rotation and then, in rotate mode, folds the increments into it and clears
  // the pending amounts. Needs a current GL context.
  void applyForFrame(ViewState &view);

  // The same bookkeeping without GL: refill and, in rotate mode, fold.
  void advance(ViewState &view);

  void reset();

  // Turns the model so that world direction `right` points right on screen and `up` points
  // up (both unit and orthogonal); the viewer then looks along -(right x up). The increments
  // are cleared.
  void setOrientation(const Vec3d &right, const Vec3d &up);

  // A x B over the 16 stored values taken as row-major 4x4 arrays.
  static Matrix multiply(const Matrix &a, const Matrix &b);
  static Matrix identity();
};
