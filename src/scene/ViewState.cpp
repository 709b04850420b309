#include "scene/ViewState.h"

#include <GL/gl.h>
#include <cmath>

double ViewState::worldUnitsPerPixel() const {
  const WindowRect r = windowRect();
  const double diag = std::sqrt(double(r.width) * r.width + double(r.height) * r.height);
  return diag > 0 ? distance / diag : distance;
}

void ViewState::zoomToFit() {
  const WindowRect r = windowRect();
  const double aspect = r.height > 0 ? double(r.width) / double(r.height) : 0.0;
  const double ex = 1.6 * (boundsMax.x - boundsMin.x);
  const double ey = 1.6 * (boundsMax.y - boundsMin.y);
  distance = ey < ex ? ex : aspect * ey;
  // Zero, and the negative distance of an empty model's inverted box, fall back to 1.
  if (!(distance > 0))
    distance = 1;
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
