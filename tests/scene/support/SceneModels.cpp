#include "support/SceneModels.h"

#include <algorithm>

namespace scenetest {

namespace {
void fillPoints(SessionModel &m, const std::vector<Vec3f> &pts, const std::vector<float> &dev) {
  const std::size_t n = pts.size();
  m.pointCount = std::int32_t(n);
  m.points.allocate(n);
  m.normals.allocate(n);
  m.deviations.allocate(n);
  for (std::size_t i = 0; i < n; ++i) {
    m.points[i] = pts[i];
    m.normals[i] = Vec3f{0, 0, 1};
    m.deviations[i] = dev[i];
  }
  m.deviationMode = 3;
}
} // namespace

std::unique_ptr<SessionModel> pointModel(const std::vector<Vec3f> &points,
                                         const std::vector<float> &deviations) {
  auto m = std::make_unique<SessionModel>();
  fillPoints(*m, points, deviations);
  return m;
}

std::unique_ptr<SessionModel> rasterModel(int n, float deviation) {
  std::vector<Vec3f> pts(std::size_t(n), Vec3f{0, 0, 0});
  for (int i = 0; i < n; ++i)
    pts[std::size_t(i)] = Vec3f{float(i % 900) + 0.5f, float(i / 900) + 0.5f, 0};
  return pointModel(pts, std::vector<float>(std::size_t(n), deviation));
}

std::unique_ptr<SessionModel> squaresModel(const std::vector<Square> &squares) {
  std::vector<Vec3f> pts;
  std::vector<float> dev;
  for (const Square &s : squares) {
    pts.push_back({s.x0, s.y0, 0});
    pts.push_back({s.x0 + s.size, s.y0, 0});
    pts.push_back({s.x0 + s.size, s.y0 + s.size, 0});
    pts.push_back({s.x0, s.y0 + s.size, 0});
    for (int i = 0; i < 4; ++i)
      dev.push_back(s.deviation);
  }
  auto m = pointModel(pts, dev);
  const std::size_t t = squares.size() * 2;
  m->triangleCount = std::int32_t(t);
  m->triangles.allocate(t);
  m->triangleNormals.allocate(t);
  for (std::size_t k = 0; k < squares.size(); ++k) {
    const std::int32_t b = std::int32_t(4 * k);
    m->triangles[2 * k] = Triangle{b, b + 1, b + 2};
    m->triangles[2 * k + 1] = Triangle{b, b + 2, b + 3};
    m->triangleNormals[2 * k] = Vec3f{0, 0, 1};
    m->triangleNormals[2 * k + 1] = Vec3f{0, 0, 1};
  }
  return m;
}

std::unique_ptr<SessionModel> gridModel(int cols, int rows, float pitch, float deviation) {
  std::vector<Vec3f> pts;
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < cols; ++i)
      pts.push_back({pitch * (float(i) + 0.5f), pitch * (float(j) + 0.5f), 0});
  auto m = pointModel(pts, std::vector<float>(pts.size(), deviation));
  std::vector<Triangle> tris;
  for (int j = 0; j + 1 < rows; ++j)
    for (int i = 0; i + 1 < cols; ++i) {
      const std::int32_t a = j * cols + i;
      tris.push_back({a, a + 1, a + cols + 1});
      tris.push_back({a, a + cols + 1, a + cols});
    }
  m->triangleCount = std::int32_t(tris.size());
  m->triangles.allocate(tris.size());
  std::copy(tris.begin(), tris.end(), m->triangles.begin());
  return m;
}

} // namespace scenetest
