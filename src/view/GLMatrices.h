#pragma once
#include "geometry/Vec3d.h"

#include <array>

// The camera of the current GL context: model-view and projection matrices (column-major)
// and the viewport, read in one go so projecting several points costs one set of queries.
struct GLMatrices {
  std::array<double, 16> modelView{}, projection{};
  std::array<int, 4> viewport{};
};

// The matrices and viewport of the current context. Needs a current context.
GLMatrices currentMatrices();
// The current model-view matrix alone. Needs a current context.
std::array<double, 16> currentModelView();
// Window coordinates (y up) of a world point; false when the matrices cannot project it.
bool projectToWindow(const Vec3d &p, const GLMatrices &m, double &wx, double &wy);
