#include "geometry/Placement.h"

#include <cmath>
#include <cstdio>

Vec3d Placement::transformPoint(const Vec3d &p) const {
  Vec3d out;
  for (int i = 0; i < 3; ++i)
    out[i] = r_[i][0] * p.x + r_[i][1] * p.y + r_[i][2] * p.z + t_[i];
  return out;
}

Vec3d Placement::transformDirection(const Vec3d &v) const {
  Vec3d out;
  for (int i = 0; i < 3; ++i)
    out[i] = r_[0][i] * v.x + r_[1][i] * v.y + r_[2][i] * v.z + t_[i];
  return out;
}

Vec3d Placement::rotate(const Vec3d &v) const {
  Vec3d out;
  for (int i = 0; i < 3; ++i)
    out[i] = r_[i][0] * v.x + r_[i][1] * v.y + r_[i][2] * v.z;
  return out;
}

bool Placement::setFromAxes(Vec3d o, Vec3d u, Vec3d v) {
  const double c = dot(u, v) / (std::sqrt(dot(u, u)) * std::sqrt(dot(v, v)));
  // Right and obtuse angles short of anti-parallel pass; acute angles do not.
  if (!(c > -0.9999999 && c < 1e-8)) {
    std::fputs("Die Vektoren sind nicht orthogonal zueinander!\n", stdout);
    std::fflush(stdout);
    return false;
  }
  const Vec3d w = cross(u, v);
  r_ = {{{u.x, u.y, u.z}, {v.x, v.y, v.z}, {w.x, w.y, w.z}}};
  t_ = o;
  return true;
}

std::array<double, 16> Placement::glMatrix(double s) const {
  return {s * r_[0][0], s * r_[0][1], s * r_[0][2], 0, s * r_[1][0], s * r_[1][1], s * r_[1][2], 0,
          s * r_[2][0], s * r_[2][1], s * r_[2][2], 0, t_.x,         t_.y,         t_.z,         1};
}

Frame frameFromDirection(const Vec3d &d) {
  if (!(length(d) > 1e-10))
    return {Vec3d{1, 0, 0}, Vec3d{0, 1, 0}, Vec3d{0, 0, 1}};
  Frame f{};
  normaliseInto(f[2], d);
  // Axis of the smallest component: ties prefer x over z, y only when strictly smaller.
  int k = std::fabs(d.x) > std::fabs(d.z) ? 2 : 0;
  if (std::fabs(d[k]) > std::fabs(d.y))
    k = 1;
  f[0] = Vec3d{};
  f[0][k] = 1.0;
  f[1] = cross(f[2], f[0]);
  f[0] = cross(f[1], f[2]);
  normaliseInto(f[0], f[0]);
  normaliseInto(f[1], f[1]);
  return f;
}
