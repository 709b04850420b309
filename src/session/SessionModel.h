#pragma once
#include "geometry/Placement.h"
#include "geometry/Vec3d.h"
#include "geometry/Vec3f.h"
#include "session/PodArray.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A triangle as the model holds it: three corner indices into the point block.
struct Triangle {
  std::int32_t a, b, c;
};
static_assert(sizeof(Triangle) == 12);

// A triangle as a session file stores it: the three corners and the index of the triangle's
// normal (16 bytes).
struct TriangleRecord {
  std::int32_t a, b, c;
  std::int32_t normalIndex;
};
static_assert(sizeof(TriangleRecord) == 16);

// Axis-aligned box around the model's points: minimum corner, then maximum corner.
class BoundingBox {
public:
  BoundingBox(const Vec3d &min, const Vec3d &max) : min_(min), max_(max) {}
  Vec3d min() const { return min_; }
  Vec3d max() const { return max_; }

private:
  Vec3d min_, max_;
};

// One loaded measurement: points with normals and deviations, optional triangles and
// nominal points, the path it came from and a lazily computed bounding box.
class SessionModel {
public:
  std::int32_t pointCount = 0;
  PodArray<Vec3f> points;
  PodArray<Vec3f> normals;
  PodArray<Vec3f> nominalPoints;
  PodArray<Vec3f> triangleNormals;
  PodArray<float> deviations;
  PodArray<std::int32_t> pointStatus;
  std::string path;
  std::unique_ptr<BoundingBox> bounds;
  // > 0: the deviations are meaningful and drawing colours by them.
  std::int32_t deviationMode = 0;
  // 0 or less: no triangles.
  std::int32_t triangleCount = 0;
  PodArray<Triangle> triangles;
  // The normal index of each triangle, held only when some triangle's differs from its own
  // position (in files as the tools write them none does); absent, it is the position.
  PodArray<std::int32_t> triangleNormalIndices;
  // Point text files: lines that held text but no number (headers, comments); blank lines
  // are not counted.
  std::uint64_t skippedLines = 0;
  // Session files: bytes after the last block, which are ignored.
  std::uint64_t extraBytes = 0;
  // The nearest-point index of these points, built by the layers that pick on first use: it
  // lives and dies with its model, so each window's model has its own.
  mutable std::shared_ptr<void> pointIndex;

  void SetPath(const char *newPath) { path = newPath ? newPath : ""; }

  // Both readers return false when the file cannot be opened or is refused; the model is
  // then left as it was and error() says why, naming the file. Anything but a regular file
  // is refused before it is opened (a FIFO or a device could block the reader for ever).
  bool ReadSessionFile();
  bool ReadPointTextFile();
  const std::string &error() const { return error_; }

  bool ComputeTriangleNormals(std::uint32_t count);
  void ComputeBoundingBox();
  const BoundingBox &GetBoundingBox();
  // Points get R*p + t; normals and triangle normals are only rotated.
  void TransformModel(Placement placement);

  bool hasNominalPoints() const { return nominalPoints.present(); }
  bool hasTriangles() const { return triangleCount > 0 && triangles.present(); }
  // The index into triangleNormals that triangle t names; unchecked, as the file gave it.
  std::int32_t normalIndexOf(std::size_t t) const {
    return t < triangleNormalIndices.size() ? triangleNormalIndices[t] : std::int32_t(t);
  }
  // The normal a flat-shaded triangle t is drawn with: the entry of triangleNormals its normal
  // index names, or the zero vector when it names none.
  Vec3f flatNormalOf(std::size_t t) const {
    const std::int32_t i = normalIndexOf(t);
    return i >= 0 && std::size_t(i) < triangleNormals.size() ? triangleNormals[std::size_t(i)]
                                                             : Vec3f{0, 0, 0};
  }
  // Triangle t as a session file stores it.
  TriangleRecord recordOf(std::size_t t) const {
    const Triangle &r = triangles[t];
    return {r.a, r.b, r.c, normalIndexOf(t)};
  }
  // Holds the normal indices explicitly (each its position, unless held already) so that
  // single ones can be set: for models built in memory.
  void storeNormalIndices();

  // Triangle records the session reader takes from the file at a time: it splits them into
  // corners and normal indices, so the block is never held in both forms at once.
  static constexpr std::size_t kTrianglesPerRead = std::size_t{1} << 14;

private:
  std::string error_;
};

// Points that can be drawn: the count, but no more than the array holds (none for a negative
// count).
inline std::size_t drawablePoints(const SessionModel &model) {
  return std::min(std::size_t(std::max(model.pointCount, 0)), model.points.size());
}

// Triangles that can be drawn: the count, but no more than the array holds (none without the
// array or for a count of 0 or less).
inline std::size_t drawableTriangles(const SessionModel &model) {
  return model.triangles.present()
             ? std::min(std::size_t(std::max(model.triangleCount, 0)), model.triangles.size())
             : 0;
}

// Whether all three corner indices of a triangle lie in [0, n).
inline bool cornersWithin(const Triangle &triangle, std::size_t n) {
  return triangle.a >= 0 && triangle.b >= 0 && triangle.c >= 0 && std::size_t(triangle.a) < n &&
         std::size_t(triangle.b) < n && std::size_t(triangle.c) < n;
}

// Unit normal of a triangle from its corners (computed in double precision, then rounded to
// float and normalised again); the zero vector for a degenerate triangle. Corner indices must
// lie inside the points.
Vec3f triangleNormalOf(const SessionModel &model, const Triangle &triangle);

// Whether a path names a session file (ends in "ses", any case); anything else is read as a
// point text file.
bool isSessionFilePath(const std::string &path);

// Reads path into model with the reader its name asks for (session file when the name ends
// in "ses" in any case, otherwise the point text reader). False with a message when the reader
// refuses the file. Every place that opens a user's file goes through here, so all of them choose
// the reader alike.
bool readModelFile(const std::string &path, SessionModel &model, bool &isSessionFile,
                   std::string &error);
