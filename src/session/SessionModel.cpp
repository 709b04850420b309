#include "session/SessionModel.h"

#include <algorithm>
#include <cctype>
#include <numeric>

Vec3f triangleNormalOf(const SessionModel &model, const Triangle &r) {
  const auto corner = [&](std::int32_t i) {
    const Vec3f &p = model.points[static_cast<std::size_t>(i)];
    return Vec3d{p.x, p.y, p.z};
  };
  const Vec3d p0 = corner(r.a), p1 = corner(r.b), p2 = corner(r.c);
  const Vec3d n = normalised(cross(p1 - p0, p2 - p0));
  return normalised(
      Vec3f{static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
}

bool SessionModel::ComputeTriangleNormals(std::uint32_t count) {
  triangleNormals.allocate(count);
  // A count beyond the triangle records would read past them; those entries stay zero.
  const std::uint32_t known =
      static_cast<std::uint32_t>(std::min<std::size_t>(count, triangles.size()));
  for (std::uint32_t t = known; t < count; ++t)
    triangleNormals[t] = Vec3f{0.0f, 0.0f, 0.0f};
  for (std::uint32_t t = 0; t < known; ++t)
    triangleNormals[t] = triangleNormalOf(*this, triangles[t]);
  return true;
}

void SessionModel::storeNormalIndices() {
  if (triangleNormalIndices.size() == triangles.size())
    return;
  triangleNormalIndices.allocate(triangles.size());
  std::iota(triangleNormalIndices.begin(), triangleNormalIndices.end(), 0);
}

void SessionModel::ComputeBoundingBox() {
  float mn[3] = {100000.0f, 100000.0f, 100000.0f};
  float mx[3] = {-100000.0f, -100000.0f, -100000.0f};
  for (std::int32_t i = 0; i < pointCount; ++i) {
    const Vec3f &p = points[static_cast<std::size_t>(i)];
    const float c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
      if (c[k] < mn[k])
        mn[k] = c[k];
      if (c[k] > mx[k])
        mx[k] = c[k];
    }
  }
  bounds = std::make_unique<BoundingBox>(Vec3d{mn[0], mn[1], mn[2]}, Vec3d{mx[0], mx[1], mx[2]});
}

const BoundingBox &SessionModel::GetBoundingBox() {
  if (!bounds)
    ComputeBoundingBox();
  return *bounds;
}

void SessionModel::TransformModel(Placement placement) {
  for (auto &p : points) {
    const Vec3d q = placement.transformPoint(Vec3d{p.x, p.y, p.z});
    p = Vec3f{static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z)};
  }
  const auto rotateAll = [&](PodArray<Vec3f> &arr) {
    for (auto &v : arr) {
      const Vec3d q = placement.rotate(Vec3d{v.x, v.y, v.z});
      v = Vec3f{static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z)};
    }
  };
  rotateAll(normals);
  rotateAll(triangleNormals);
  bounds.reset();
}

bool isSessionFilePath(const std::string &path) {
  // The last three characters decide, as they always have; only the case no longer matters.
  std::string ext = path.size() < 3 ? path : path.substr(path.size() - 3);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == "ses";
}

bool readModelFile(const std::string &path, SessionModel &model, bool &isSessionFile,
                   std::string &error) {
  isSessionFile = isSessionFilePath(path);
  // The path is taken as it is: on this platform a backslash is part of a file name, not a
  // separator, so rewriting it would open another file.
  model.SetPath(path.c_str());
  const bool ok = isSessionFile ? model.ReadSessionFile() : model.ReadPointTextFile();
  if (!ok)
    error = model.error().empty() ? "The file " + path + " could not be read." : model.error();
  return ok;
}
