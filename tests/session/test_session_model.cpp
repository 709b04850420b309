// SessionModel operations: bounding box with its start limits and cache, triangle normals,
// the transform, and the path.
#include "SessionTestFiles.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

void setPoints(SessionModel &m, const std::vector<Vec3f> &pts) {
  m.pointCount = static_cast<std::int32_t>(pts.size());
  m.points.allocate(pts.size());
  for (std::size_t i = 0; i < pts.size(); ++i)
    m.points[i] = pts[i];
}

void setTriangles(SessionModel &m, const std::vector<Triangle> &tris) {
  m.triangleCount = static_cast<std::int32_t>(tris.size());
  m.triangles.allocate(tris.size());
  for (std::size_t i = 0; i < tris.size(); ++i)
    m.triangles[i] = tris[i];
}

} // namespace

TEST(SessionModelBounds, FreshModelHasInvertedStartBox) {
  SessionModel m;
  EXPECT_EQ(m.pointCount, 0);
  EXPECT_EQ(m.triangleCount, 0);
  EXPECT_EQ(m.deviationMode, 0);
  EXPECT_FALSE(m.points.present() || m.normals.present() || m.deviations.present() ||
               m.triangles.present() || m.triangleNormalIndices.present() ||
               m.nominalPoints.present() || m.pointStatus.present());
  const BoundingBox &b = m.GetBoundingBox();
  EXPECT_EQ(b.min(), (Vec3d{100000, 100000, 100000}));
  EXPECT_EQ(b.max(), (Vec3d{-100000, -100000, -100000}));
}

TEST(SessionModelBounds, PerAxisMinimumAndMaximum) {
  SessionModel m;
  setPoints(m, {{1, 2, 3}, {-4, 5, 0.5f}});
  const BoundingBox &b = m.GetBoundingBox();
  EXPECT_EQ(b.min(), (Vec3d{-4, 2, 0.5}));
  EXPECT_EQ(b.max(), (Vec3d{1, 5, 3}));
}

TEST(SessionModelBounds, StartValuesActAsLimits) {
  SessionModel m;
  setPoints(m, {{200000, 0, -300000}});
  const BoundingBox &b = m.GetBoundingBox();
  EXPECT_EQ(b.min().x, 100000.0);
  EXPECT_EQ(b.max().x, 200000.0);
  EXPECT_EQ(b.min().z, -300000.0);
  EXPECT_EQ(b.max().z, -100000.0);
  EXPECT_EQ(b.min().y, 0.0);
  EXPECT_EQ(b.max().y, 0.0);
}

TEST(SessionModelBounds, CachedUntilTransform) {
  SessionModel m;
  setPoints(m, {{1, 1, 1}, {2, 3, 4}});
  const BoundingBox *first = &m.GetBoundingBox();
  EXPECT_EQ(first, &m.GetBoundingBox());
  m.points[1] = Vec3f{10, 10, 10}; // direct edits are not seen: the box is a cache
  EXPECT_EQ(m.GetBoundingBox().max(), (Vec3d{2, 3, 4}));
  Placement p;
  p.setTranslation({1, 0, 0});
  m.TransformModel(p);
  EXPECT_EQ(m.GetBoundingBox().max(), (Vec3d{11, 10, 10}));
  EXPECT_EQ(m.GetBoundingBox().min(), (Vec3d{2, 1, 1}));
}

TEST(SessionModelTriangles, NormalFollowsCornerOrder) {
  SessionModel m;
  setPoints(m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {0, 0, 3}});
  setTriangles(m, {{0, 1, 2}, {0, 2, 1}, {3, 3, 3}, {0, 4, 1}, {0, 1, 3}});
  EXPECT_TRUE(m.ComputeTriangleNormals(5));
  ASSERT_EQ(m.triangleNormals.size(), 5u);
  EXPECT_EQ(m.triangleNormals[0], (Vec3f{0, 0, 1}));
  EXPECT_EQ(m.triangleNormals[1], (Vec3f{0, 0, -1}));
  EXPECT_EQ(m.triangleNormals[2], (Vec3f{0, 0, 0})); // degenerate
  EXPECT_EQ(m.triangleNormals[3], (Vec3f{0, 1, 0}));
  // A slanted face: unit length and perpendicular to both edges.
  const Vec3f n = m.triangleNormals[4];
  EXPECT_NEAR(std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z), 1.0, 1e-6);
  EXPECT_NEAR(n.x, 0.0, 1e-7); // e1 = (1,0,0)
  EXPECT_NEAR(n.y * 5 + n.z * 5, 0.0, 1e-6);
}

TEST(SessionModelTriangles, TinyTrianglesStillGetUnitNormals) {
  // Far from the origin, corners a micrometre apart: the double-precision edges keep them.
  SessionModel m;
  setPoints(m, {{1000, 1000, 0}, {1000.001f, 1000, 0}, {1000, 1000.001f, 0}});
  setTriangles(m, {{0, 1, 2}});
  m.ComputeTriangleNormals(1);
  EXPECT_NEAR(m.triangleNormals[0].z, 1.0f, 1e-6);
}

TEST(SessionModelTransform, PointsMoveNormalsOnlyRotate) {
  SessionModel m;
  setPoints(m, {{1, 0, 0}, {0, 2, 0}});
  m.normals.allocate(2);
  m.normals[0] = {1, 0, 0};
  m.normals[1] = {0, 0, 1};
  setTriangles(m, {{0, 1, 0}});
  m.triangleNormals.allocate(1);
  m.triangleNormals[0] = {0, 1, 0};
  Placement p;
  // Rotation by 90 degrees about z: x -> y, y -> -x.
  p.setRotation({{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}});
  p.setTranslation({10, 20, 30});
  m.TransformModel(p);
  EXPECT_EQ(m.points[0], (Vec3f{10, 21, 30}));
  EXPECT_EQ(m.points[1], (Vec3f{8, 20, 30}));
  EXPECT_EQ(m.normals[0], (Vec3f{0, 1, 0}));
  EXPECT_EQ(m.normals[1], (Vec3f{0, 0, 1}));
  EXPECT_EQ(m.triangleNormals[0], (Vec3f{-1, 0, 0}));
}

TEST(SessionModelTransform, AbsentArraysAreSkipped) {
  SessionModel m;
  setPoints(m, {{1, 2, 3}});
  Placement p;
  p.setTranslation({1, 1, 1});
  m.TransformModel(p);
  EXPECT_EQ(m.points[0], (Vec3f{2, 3, 4}));
  EXPECT_FALSE(m.normals.present());
  EXPECT_FALSE(m.triangleNormals.present());
}

TEST(SessionModelPath, SecondPathReplacesTheFirst) {
  SessionModel m;
  m.SetPath("/first/a.ses");
  m.SetPath("/second/b.txt");
  EXPECT_EQ(m.path, "/second/b.txt");
  m.SetPath(nullptr);
  EXPECT_EQ(m.path, "");
}

TEST(SessionModelTriangles, CountBeyondTheRecordsIsSafe) {
  SessionModel m;
  setPoints(m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  setTriangles(m, {{0, 1, 2}});
  EXPECT_TRUE(m.ComputeTriangleNormals(3));
  ASSERT_EQ(m.triangleNormals.size(), 3u);
  EXPECT_EQ(m.triangleNormals[0], (Vec3f{0, 0, 1}));
  EXPECT_EQ(m.triangleNormals[2], (Vec3f{0, 0, 0}));
}

// Opening a user's file: the reader follows the name's ending in any case, a refusal comes
// back with its message, and the path is used exactly as given.
TEST(ReadModelFile, ChoosesTheReaderByTheNameAndKeepsThePathAsGiven) {
  using namespace testfiles;
  SessionModel session;
  bool isSession = false;
  std::string error;
  const std::string ses = writeFile("a\\b.SES", validSession(0, 3, 1));
  ASSERT_TRUE(readModelFile(ses, session, isSession, error)) << error;
  EXPECT_TRUE(isSession);
  EXPECT_EQ(session.path, ses); // the backslash is part of the name here
  EXPECT_EQ(session.pointCount, 3);
  EXPECT_EQ(session.triangleCount, 1);

  SessionModel text;
  ASSERT_TRUE(readModelFile(writeFile("p.txt", std::string("X Y Z\n1 2 3\n4 5 6\n")), text,
                            isSession, error));
  EXPECT_FALSE(isSession);
  EXPECT_EQ(text.pointCount, 2);

  SessionModel refused;
  error.clear();
  const std::string shortFile = writeFile("short.ses", validSession(0, 3, 1).bytes.data(), 20);
  EXPECT_FALSE(readModelFile(shortFile, refused, isSession, error));
  EXPECT_NE(error.find("short.ses"), std::string::npos) << error;
  EXPECT_EQ(refused.pointCount, 0);
}
