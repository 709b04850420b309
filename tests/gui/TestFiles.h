#pragma once
// Small session and point files written by the tests themselves.
#include "geometry/Vec3f.h"

#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct TestTriangle {
  std::int32_t a, b, c, normalIndex;
};

// Writes a session file: header (format word, n, t, reserved), points, normals, deviations,
// triangles, and nominal points when withNominal (format word 16).
inline void writeSessionFile(const std::string &path, const std::vector<Vec3f> &points,
                             const std::vector<float> &deviations,
                             const std::vector<TestTriangle> &triangles, bool withNominal = false) {
  std::ofstream f(path, std::ios::binary);
  const std::int32_t header[4] = {withNominal ? 16 : 0, std::int32_t(points.size()),
                                  std::int32_t(triangles.size()), 0};
  f.write(reinterpret_cast<const char *>(header), sizeof header);
  f.write(reinterpret_cast<const char *>(points.data()), std::streamsize(points.size() * 12));
  const std::vector<Vec3f> normals(points.size(), Vec3f{0, 0, 1});
  f.write(reinterpret_cast<const char *>(normals.data()), std::streamsize(normals.size() * 12));
  f.write(reinterpret_cast<const char *>(deviations.data()),
          std::streamsize(deviations.size() * 4));
  f.write(reinterpret_cast<const char *>(triangles.data()), std::streamsize(triangles.size() * 16));
  if (withNominal) {
    std::vector<Vec3f> nominal = points;
    for (Vec3f &p : nominal)
      p.z -= 0.01f;
    f.write(reinterpret_cast<const char *>(nominal.data()), std::streamsize(nominal.size() * 12));
  }
}

// A flat square of 2 x 2 triangles over a 3 x 3 grid spanning x 0..20, y 0..10, with
// deviations from -0.3 to 0.3.
inline void writeSquareSession(const std::string &path, bool withNominal = false) {
  std::vector<Vec3f> pts;
  std::vector<float> dev;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      pts.push_back(Vec3f{10.0f * i, 5.0f * j, 0.0f});
      dev.push_back(-0.3f + 0.075f * float(j * 3 + i));
    }
  std::vector<TestTriangle> tris;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) {
      const int a = j * 3 + i;
      tris.push_back({a, a + 1, a + 4, 0});
      tris.push_back({a, a + 4, a + 3, 0});
    }
  writeSessionFile(path, pts, dev, tris, withNominal);
}

inline void writeTextFile(const std::string &path, const std::string &text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}
