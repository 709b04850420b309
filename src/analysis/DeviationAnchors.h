#pragma once
#include "session/SessionModel.h"

#include <algorithm>
#include <cstddef>

// Where the magnified deviation display of a point is anchored: the nominal point when the
// file carries them, otherwise the point moved back along its normal by its deviation (the
// nominal position the measurement implies). Computed on demand, so no array repeats the
// model's.
struct DeviationAnchors {
  const Vec3f *nominal = nullptr;
  const Vec3f *points = nullptr;
  const Vec3f *normals = nullptr;
  const float *deviations = nullptr;

  // None without nominal points and without normals and deviations to derive them from.
  static DeviationAnchors of(const SessionModel &m) {
    DeviationAnchors a;
    const auto n = std::size_t(std::max<std::int32_t>(m.pointCount, 0));
    if (m.nominalPoints.present() && m.nominalPoints.size() >= n) {
      a.nominal = m.nominalPoints.data();
      return a;
    }
    // A normal is a direction, not a position: it is never taken as the anchor itself.
    if (m.deviationMode <= 0 || !m.normals.present() || m.normals.size() < n ||
        m.deviations.size() < n || m.points.size() < n)
      return a;
    a.points = m.points.data();
    a.normals = m.normals.data();
    a.deviations = m.deviations.data();
    return a;
  }

  bool present() const { return nominal != nullptr || points != nullptr; }

  Vec3f at(std::size_t i) const {
    return nominal ? nominal[i] : points[i] - normals[i] * deviations[i];
  }

  // Whether a magnified mesh's vertices differ from the measured points: at m = 1 they are
  // the points themselves (so those are drawn where they are, from the model's own array).
  bool movesMesh(float m) const { return present() && m > 0 && m != 1.0f; }

  // Mesh vertex of a magnified display (where movesMesh): S + m (P - S), in float arithmetic.
  Vec3f meshVertex(const Vec3f &p, std::size_t i, float m) const {
    const Vec3f s = at(i);
    return s + (p - s) * m;
  }

  // Where the points pass shows a magnified point: P + m (P - S), computed in doubles and
  // rounded to float; its needle runs from there to S.
  static Vec3f magnifiedPoint(const Vec3f &p, const Vec3f &s, float m) {
    const double md = m;
    return {float(p.x + md * (double(p.x) - s.x)), float(p.y + md * (double(p.y) - s.y)),
            float(p.z + md * (double(p.z) - s.z))};
  }
};
