#pragma once
#include "geometry/Vec3d.h"

#include <array>

// A 3x3 rotation (row-major) and a translation that place scene nodes.
class Placement {
public:
  using Matrix3 = std::array<std::array<double, 3>, 3>;

  Placement() = default; // identity, zero translation

  static Placement identity() { return {}; }

  Matrix3 rotation() const { return r_; }
  Vec3d translation() const { return t_; }
  void setRotation(const Matrix3 &r) { r_ = r; }
  void setTranslation(const Vec3d &t) { t_ = t; }

  // R * p + t
  Vec3d transformPoint(const Vec3d &p) const;
  void transformPointInPlace(Vec3d &p) const { p = transformPoint(p); }
  // R^T * v + t (the historical direction transform; kept for callers that rely on it)
  Vec3d transformDirection(const Vec3d &v) const;
  // R * v, without translation: what normals need.
  Vec3d rotate(const Vec3d &v) const;

  // Rows u, v, u x v and translation o, when u and v are at least at a right angle and not
  // anti-parallel; otherwise prints the refusal on standard output and keeps the placement.
  // Returns whether the axes were accepted.
  bool setFromAxes(Vec3d o, Vec3d u, Vec3d v);

  // Column-major OpenGL matrix: the rows of R become columns, each scaled by s.
  std::array<double, 16> glMatrix(double scale = 1.0) const;

  friend bool operator==(const Placement &, const Placement &) = default;

private:
  Matrix3 r_{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  Vec3d t_{};
};

// Orthonormal frame: three rows.
using Frame = std::array<Vec3d, 3>;

// Right-handed orthonormal frame whose row 2 is the normalised direction d; the identity
// frame when |d| <= 1e-10.
Frame frameFromDirection(const Vec3d &d);
