#pragma once
#include "geometry/Vec3d.h"

#include <array>

// The default view of a 3D annotation (a 3D view dictionary): where the camera stands and
// how far it orbits, in the world of the embedded U3D scene.
struct Pdf3dView {
  // Camera to world, as the view dictionary's C2W array: the camera's x, y and z axes (each
  // a unit vector in world coordinates), then its position. The camera looks along its +z
  // axis with +y up on screen (so +x points left).
  std::array<double, 12> c2w{};
  // Distance from the camera to the centre of orbit (the model's centre); always > 0.
  double centreOfOrbit = 1;
  // Perspective field of view in degrees, across the narrower side of the annotation.
  double fieldOfView = 30;

  Vec3d axis(int i) const { return {c2w[3 * i], c2w[3 * i + 1], c2w[3 * i + 2]}; }
  Vec3d position() const { return {c2w[9], c2w[10], c2w[11]}; }
};

// The view that shows a model with these bounds (its own coordinates, as the file stores
// them) in the U3D scene: looking at the box centre, placed by the scene's model node, from
// the 3D view's default direction (from +z down, x right, y up), far enough that the box's
// bounding sphere fits the field of view with a margin. An empty or non-finite box gives a
// view of its corner one unit away.
Pdf3dView pdf3dDefaultView(const Vec3d &boundsMin, const Vec3d &boundsMax);
