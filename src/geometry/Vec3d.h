#pragma once
#include <cmath>

// Three doubles for computation; default construction gives the zero vector.
struct Vec3d {
  double x = 0, y = 0, z = 0;

  constexpr Vec3d() = default;
  constexpr Vec3d(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  constexpr double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr double &operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }

  friend constexpr Vec3d operator+(const Vec3d &a, const Vec3d &b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
  }
  friend constexpr Vec3d operator-(const Vec3d &a, const Vec3d &b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
  }
  friend constexpr Vec3d operator*(const Vec3d &a, double s) { return {s * a.x, s * a.y, s * a.z}; }
  friend constexpr bool operator==(const Vec3d &a, const Vec3d &b) = default;
};

constexpr double dot(const Vec3d &a, const Vec3d &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

constexpr Vec3d cross(const Vec3d &a, const Vec3d &b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline double length(const Vec3d &a) { return std::sqrt(dot(a, a)); }

// a / |a|, or a unchanged when its length is exactly 0.
inline Vec3d normalised(const Vec3d &a) {
  const double len = length(a);
  return len != 0.0 ? a * (1.0 / len) : a;
}

// dst = src / |src| when |src| > 1e-10, else the zero vector; dst may be src.
inline void normaliseInto(Vec3d &dst, const Vec3d &src) {
  const double len = length(src);
  dst = len > 1e-10 ? src * (1.0 / len) : Vec3d{};
}
