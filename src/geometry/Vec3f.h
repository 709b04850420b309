#pragma once
#include <cmath>

// Three floats: the element of the model's point, normal and nominal arrays (12 bytes,
// file layout). Default construction leaves the components undefined so that bulk
// arrays can be read straight from a file without zeroing them first.
struct Vec3f {
  float x, y, z;

  Vec3f() = default;
  constexpr Vec3f(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  constexpr float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  friend constexpr Vec3f operator+(const Vec3f &a, const Vec3f &b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
  }
  friend constexpr Vec3f operator-(const Vec3f &a, const Vec3f &b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
  }
  friend constexpr Vec3f operator*(const Vec3f &a, float s) { return {s * a.x, s * a.y, s * a.z}; }
  friend constexpr bool operator==(const Vec3f &a, const Vec3f &b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  }
};
static_assert(sizeof(Vec3f) == 12);

// Single-precision cross product u x v.
inline constexpr Vec3f cross(const Vec3f &u, const Vec3f &v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

// Single-precision normalisation; zero length gives the zero vector.
inline Vec3f normalised(const Vec3f &a) {
  const float len = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  if (len > 0.0f)
    return {a.x / len, a.y / len, a.z / len};
  return {0.0f, 0.0f, 0.0f};
}
