#pragma once
#include "session/SessionModel.h"

#include <memory>
#include <vector>

// Small models in window-pixel coordinates for drawing tests (orthographic 0..900 x 0..600).
namespace scenetest {

// Points at the given positions with deviations; normals (0, 0, 1); deviation mode 3.
std::unique_ptr<SessionModel> pointModel(const std::vector<Vec3f> &points,
                                         const std::vector<float> &deviations);

// n points on rows 900 wide at pixel centres: point i at (i % 900 + 0.5, i / 900 + 0.5).
std::unique_ptr<SessionModel> rasterModel(int n, float deviation);

// Axis-aligned squares, each two triangles of four own vertices sharing one deviation:
// square k spans [x0, x0 + size] x [y0, y0 + size] at z = 0. One triangle normal per
// triangle, all (0, 0, 1).
struct Square {
  float x0, y0, size, deviation;
};
std::unique_ptr<SessionModel> squaresModel(const std::vector<Square> &squares);

// A flat grid mesh of cols x rows points pitch pixels apart from (pitch / 2, pitch / 2), two
// counter-clockwise triangles per cell, every deviation the given one.
std::unique_ptr<SessionModel> gridModel(int cols, int rows, float pitch, float deviation);

} // namespace scenetest
