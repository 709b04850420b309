#include "scene/ViewState.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// The fitted sphere fills this fraction of the narrower field of view (1 / 1.1), so a model
// never touches the window's edge.
constexpr double kFitMargin = 1.1;
// Beyond the model's sphere the depth range leaves room for the section plane (the box
// widened by 1.5 units) and the axes at the origin of a model around it.
constexpr double kClipReach = 1.5;
constexpr double kClipSlack = 2.0;
// The near plane never comes closer than this fraction of the distance: zoomed into the
// model the surface at the centre stays visible while the depth buffer keeps its precision.
constexpr double kNearFraction = 0.01;

double halfAngle(double degrees) { return degrees * std::numbers::pi / 360.0; }
} // namespace

double ViewState::worldUnitsPerPixel() const {
  const WindowRect r = windowRect();
  const double diag = std::sqrt(double(r.width) * r.width + double(r.height) * r.height);
  return diag > 0 ? distance / diag : distance;
}

double ViewState::pixelSize() const {
  const double visibleHeight = 2.0 * distance * std::tan(halfAngle(fieldOfView));
  return visibleHeight / double(std::max(viewHeight, 1));
}

namespace {
bool holdsSomething(const Vec3d &lo, const Vec3d &hi) {
  const double v[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
  for (double c : v)
    if (!std::isfinite(c))
      return false;
  return lo.x <= hi.x && lo.y <= hi.y && lo.z <= hi.z;
}
} // namespace

Vec3d ViewState::boundsCentre() const {
  if (!holdsSomething(boundsMin, boundsMax))
    return {};
  return boundsMin + (boundsMax - boundsMin) * 0.5;
}

double ViewState::boundsRadius() const {
  if (!holdsSomething(boundsMin, boundsMax))
    return 0;
  return 0.5 * length(boundsMax - boundsMin);
}

void ViewState::zoomToFit() {
  centre = boundsCentre();
  // The sphere must fit the narrower of the two fields of view.
  double t = std::tan(halfAngle(fieldOfView));
  if (viewWidth > 0 && viewHeight > 0)
    t = std::min(t, t * double(viewWidth) / double(viewHeight));
  const double sinHalf = std::sin(std::atan(t));
  distance = sinHalf > 0 ? kFitMargin * boundsRadius() / sinHalf : 0.0;
  // A single point (or nothing) has no size to fit: one unit away.
  if (!(distance > 0) || !std::isfinite(distance))
    distance = 1;
}

ViewState::DepthRange ViewState::depthRange() const {
  const double reach = kClipReach * boundsRadius() + kClipSlack;
  DepthRange r;
  r.nearPlane = std::max(distance - reach, kNearFraction * distance);
  r.farPlane = distance + reach;
  if (!(r.nearPlane > 0) || !std::isfinite(r.nearPlane))
    r.nearPlane = 1e-6;
  if (!(r.farPlane > r.nearPlane) || !std::isfinite(r.farPlane))
    r.farPlane = 2 * r.nearPlane;
  return r;
}

void ViewState::zoomBy(double factor) {
  distance *= factor;
  panX /= factor;
  panY /= factor;
}

void ViewState::resetCamera() {
  rotation.reset();
  panX = panY = 0;
  pendingRotationX = pendingRotationY = 0;
  zoomToFit();
}

void ViewState::saveClipPlanes() {
  clipSaved_[0] = glIsEnabled(GL_CLIP_PLANE1);
  clipSaved_[1] = glIsEnabled(GL_CLIP_PLANE2);
  glDisable(GL_CLIP_PLANE1);
  glDisable(GL_CLIP_PLANE2);
}

void ViewState::restoreClipPlanes() {
  if (clipSaved_[0])
    glEnable(GL_CLIP_PLANE1);
  if (clipSaved_[1])
    glEnable(GL_CLIP_PLANE2);
  clipSaved_[0] = clipSaved_[1] = false;
}
