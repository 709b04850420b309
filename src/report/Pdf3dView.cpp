#include "report/Pdf3dView.h"

#include "export/U3dScene.h"

#include <cmath>
#include <numbers>

namespace {
// The sphere around the box fills 1 / kFitMargin of the field of view, as the window fits.
constexpr double kFitMargin = 1.1;

bool finite(const Vec3d &v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
} // namespace

Pdf3dView pdf3dDefaultView(const Vec3d &boundsMin, const Vec3d &boundsMax) {
  Pdf3dView view;
  Vec3d centre{};
  double radius = 0;
  if (finite(boundsMin) && finite(boundsMax) && boundsMin.x <= boundsMax.x &&
      boundsMin.y <= boundsMax.y && boundsMin.z <= boundsMax.z) {
    centre = boundsMin + (boundsMax - boundsMin) * 0.5;
    radius = 0.5 * length(boundsMax - boundsMin);
  } else if (finite(boundsMin)) {
    centre = boundsMin;
  }
  // The model node places the mesh in the scene's world; the camera looks where it lands.
  const std::array<float, 16> &m = u3dModelNodeMatrix();
  const Vec3d world{m[0] * centre.x + m[4] * centre.y + m[8] * centre.z + m[12],
                    m[1] * centre.x + m[5] * centre.y + m[9] * centre.z + m[13],
                    m[2] * centre.x + m[6] * centre.y + m[10] * centre.z + m[14]};

  const double halfAngle = view.fieldOfView * std::numbers::pi / 360.0;
  double distance = kFitMargin * radius / std::sin(halfAngle);
  // A single point has no size to fit.
  if (!(distance > 0) || !std::isfinite(distance))
    distance = 1;
  view.centreOfOrbit = distance;

  // Looking down -z with x right and y up on screen: camera z = (0, 0, -1), y = (0, 1, 0),
  // x = y cross z = (-1, 0, 0); a right-handed frame (determinant +1).
  view.c2w = {-1, 0, 0, 0, 1, 0, 0, 0, -1, world.x, world.y, world.z + distance};
  return view;
}
