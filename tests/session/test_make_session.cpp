// The make-session tool's pieces: OBJ and PLY parsing (including triangle strips), normals,
// the deviation field, and session files that the reader accepts.
#include "../../tools/MeshReader.h"
#include "../../tools/SessionMaker.h"
#include "SessionTestFiles.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

using Tri = std::array<std::int32_t, 3>;

namespace {

Mesh objMesh(const std::string &text) {
  Mesh m;
  std::string err;
  EXPECT_TRUE(meshio::parseObj(text, m, err)) << err;
  return m;
}

std::string objError(const std::string &text) {
  Mesh m;
  std::string err;
  EXPECT_FALSE(meshio::parseObj(text, m, err));
  return err;
}

Mesh plyMesh(const std::string &bytes) {
  Mesh m;
  std::string err;
  EXPECT_TRUE(meshio::parsePly(bytes, m, err)) << err;
  return m;
}

std::string plyError(const std::string &bytes) {
  Mesh m;
  std::string err;
  EXPECT_FALSE(meshio::parsePly(bytes, m, err));
  return err;
}

template <class T> void append(std::string &s, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  s.append(b, sizeof(T));
}

} // namespace

TEST(ObjParsing, VerticesAndFaceForms) {
  const Mesh m = objMesh("# comment\n"
                         "o part\n"
                         "v 0 0 0\n"
                         "v 1 0 0\r\n"
                         "v 1 1 0\n"
                         "v 0 1 0 1.0\n"
                         "vn 0 0 1\n"
                         "vt 0 0\n"
                         "f 1 2 3\n"
                         "f 1/1 2/2 3/3\n"
                         "f 1//1 3//1 4//1\n"
                         "f 1/1/1 2/2/1 3/3/1\n"
                         "f -4 -3 -2\n");
  ASSERT_EQ(m.vertices.size(), 4u);
  EXPECT_EQ(m.vertices[3], (Vec3d{0, 1, 0}));
  ASSERT_EQ(m.triangles.size(), 5u);
  EXPECT_EQ(m.triangles[0], (Tri{0, 1, 2}));
  EXPECT_EQ(m.triangles[1], (Tri{0, 1, 2}));
  EXPECT_EQ(m.triangles[2], (Tri{0, 2, 3}));
  EXPECT_EQ(m.triangles[3], (Tri{0, 1, 2}));
  EXPECT_EQ(m.triangles[4], (Tri{0, 1, 2})); // negative: relative to the vertices so far
}

TEST(ObjParsing, PolygonsBecomeFansAndRelativeIndicesFollowTheFile) {
  const Mesh m = objMesh("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 0\n"
                         "f 1 2 3 4 5\n"
                         "v 5 5 5\n"
                         "f -1 -2 -3\n");
  ASSERT_EQ(m.triangles.size(), 4u);
  EXPECT_EQ(m.triangles[0], (Tri{0, 1, 2}));
  EXPECT_EQ(m.triangles[1], (Tri{0, 2, 3}));
  EXPECT_EQ(m.triangles[2], (Tri{0, 3, 4}));
  EXPECT_EQ(m.triangles[3], (Tri{5, 4, 3}));
}

TEST(ObjParsing, BadLinesAreErrorsWithTheirLineNumber) {
  EXPECT_NE(objError("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n").find("line 4"), std::string::npos);
  EXPECT_NE(objError("v 0 0 0\nf 0 1 1\n").find("line 2"), std::string::npos);
  EXPECT_NE(objError("v 0 0 0\nv 0 0 0\nf -3 1 2\n").find("-3"), std::string::npos);
  EXPECT_NE(objError("v 0 0\n").find("three numbers"), std::string::npos);
  EXPECT_NE(objError("v 0 0 0\nv 1 0 0\nf 1 2\n").find("three corners"), std::string::npos);
  EXPECT_NE(objError("v 0 0 0\nf 1 x 1\n").find("'x'"), std::string::npos);
}

TEST(PlyParsing, AsciiFacesWithOtherPropertiesSkipped) {
  const Mesh m = plyMesh("ply\n"
                         "format ascii 1.0\n"
                         "comment made by hand\n"
                         "element vertex 4\n"
                         "property float x\n"
                         "property float nx\n"
                         "property float y\n"
                         "property float z\n"
                         "property uchar red\n"
                         "element face 2\n"
                         "property list uchar int vertex_indices\n"
                         "property list uchar float texcoord\n"
                         "end_header\n"
                         "0 9 0 0 255\n"
                         "1 9 0 0 0\n"
                         "1 9 1 0 0\n"
                         "0 9 1 0.5 0\n"
                         "3 0 1 2 2 0.5 0.5\n"
                         "4 0 1 2 3 0\n");
  ASSERT_EQ(m.vertices.size(), 4u);
  EXPECT_EQ(m.vertices[3], (Vec3d{0, 1, 0.5}));
  ASSERT_EQ(m.triangles.size(), 3u);
  EXPECT_EQ(m.triangles[1], (Tri{0, 1, 2}));
  EXPECT_EQ(m.triangles[2], (Tri{0, 2, 3}));
}

TEST(PlyParsing, BinaryTristripsAlternateWindingAndSplitAtMinusOne) {
  std::string s = "ply\nformat binary_little_endian 1.0\nelement vertex 6\n"
                  "property double x\nproperty double y\nproperty double z\n"
                  "element tristrips 1\nproperty list int int vertex_indices\nend_header\n";
  for (int i = 0; i < 6; ++i) {
    append(s, double(i % 3));
    append(s, double(i / 3));
    append(s, -1.5);
  }
  // Strip 0 1 2 3, then a separate strip 3 4 5 with a degenerate join (5 5) at its end.
  const std::int32_t list[] = {0, 1, 2, 3, -1, 3, 4, 5, 5};
  append(s, std::int32_t(std::size(list)));
  for (std::int32_t v : list)
    append(s, v);
  const Mesh m = plyMesh(s);
  ASSERT_EQ(m.vertices.size(), 6u);
  EXPECT_EQ(m.vertices[4], (Vec3d{1, 1, -1.5}));
  ASSERT_EQ(m.triangles.size(), 3u);
  EXPECT_EQ(m.triangles[0], (Tri{0, 1, 2}));
  EXPECT_EQ(m.triangles[1], (Tri{2, 1, 3})); // second triangle of a strip is flipped
  EXPECT_EQ(m.triangles[2], (Tri{3, 4, 5})); // a new strip starts unflipped
}

TEST(PlyParsing, BinaryIntegerTypesAreSignExtended) {
  std::string s = "ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
                  "property short x\nproperty uchar y\nproperty float z\n"
                  "element face 1\nproperty list uchar uint vertex_indices\nend_header\n";
  for (int i = 0; i < 3; ++i) {
    append(s, std::int16_t(-2 - i));
    append(s, std::uint8_t(200 + i));
    append(s, 0.5f);
  }
  append(s, std::uint8_t(3));
  for (std::uint32_t v : {2u, 1u, 0u})
    append(s, v);
  const Mesh m = plyMesh(s);
  ASSERT_EQ(m.vertices.size(), 3u);
  EXPECT_EQ(m.vertices[1], (Vec3d{-3, 201, 0.5}));
  ASSERT_EQ(m.triangles.size(), 1u);
  EXPECT_EQ(m.triangles[0], (Tri{2, 1, 0}));
}

TEST(PlyParsing, Refusals) {
  const std::string head = "ply\nformat binary_little_endian 1.0\nelement vertex 2\n"
                           "property float x\nproperty float y\nproperty float z\nend_header\n";
  EXPECT_NE(plyError(head + std::string(20, '\0')).find("ends early"), std::string::npos);
  EXPECT_NE(plyError("ply\nformat binary_big_endian 1.0\nend_header\n").find("not supported"),
            std::string::npos);
  EXPECT_NE(plyError("solid x\n").find("not a PLY"), std::string::npos);
  EXPECT_NE(plyError("ply\nformat ascii 1.0\nelement vertex 1\n").find("incomplete"),
            std::string::npos);
  EXPECT_NE(plyError("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                     "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                     "0\n3 0 1 2\n")
                .find("outside"),
            std::string::npos);
  // -1 separates strips but is no index of a face.
  EXPECT_NE(plyError("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                     "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                     "0\n1\n2\n3 0 -1 2\n")
                .find("outside"),
            std::string::npos);
}

TEST(SessionMaking, AreaWeightedNormals) {
  Mesh m;
  // Vertex 0 is shared by a large triangle in z = 0 and a small one in x = 0.
  m.vertices = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 1, 0}, {0, 0, 1}, {7, 7, 7}};
  m.triangles = {{0, 1, 2}, {0, 3, 4}};
  const std::vector<Vec3d> n = sessionmaker::areaWeightedNormals(m);
  // Weights 16 (z) and 1 (x): normal along (1, 0, 16) normalised.
  EXPECT_NEAR(n[0].x, 1 / std::sqrt(257.0), 1e-12);
  EXPECT_NEAR(n[0].z, 16 / std::sqrt(257.0), 1e-12);
  EXPECT_EQ(n[1], (Vec3d{0, 0, 1}));
  EXPECT_EQ(n[5], (Vec3d{0, 0, 1})); // on no triangle
}

TEST(SessionMaking, FitToSizeCentresAndScales) {
  Mesh m;
  m.vertices = {{10, 0, 0}, {12, 1, 0}, {11, 0.5, 0.25}};
  ASSERT_TRUE(sessionmaker::fitToSize(m, 100));
  EXPECT_EQ(m.vertices[0], (Vec3d{-50, -25, -6.25}));
  EXPECT_EQ(m.vertices[1], (Vec3d{50, 25, -6.25}));
  Mesh flat;
  flat.vertices = {{1, 1, 1}, {1, 1, 1}};
  EXPECT_FALSE(sessionmaker::fitToSize(flat, 100));
}

TEST(SessionMaking, MeasuredPointsLieAlongTheNormalsAndTheReaderAcceptsTheFile) {
  Mesh mesh;
  const int w = 30;
  for (int y = 0; y < w; ++y)
    for (int x = 0; x < w; ++x)
      mesh.vertices.push_back({double(x), double(y), 0.0});
  for (int y = 0; y + 1 < w; ++y)
    for (int x = 0; x + 1 < w; ++x) {
      const int a = y * w + x;
      mesh.triangles.push_back({a, a + 1, a + w + 1});
      mesh.triangles.push_back({a, a + w + 1, a + w});
    }
  ASSERT_TRUE(sessionmaker::fitToSize(mesh, 100));
  const auto s = sessionmaker::makeSession(mesh, 7, true, 100);
  double lo = 1e9, hi = -1e9;
  for (std::size_t i = 0; i < s.points.size(); ++i) {
    const Vec3f d = s.points[i] - s.nominal[i];
    // A flat grid: the offset is the deviation along +z.
    EXPECT_EQ(s.normals[i], (Vec3f{0, 0, 1}));
    EXPECT_NEAR(d.z, s.deviations[i], 1e-6);
    EXPECT_NEAR(d.x, 0, 1e-5);
    lo = std::min(lo, double(s.deviations[i]));
    hi = std::max(hi, double(s.deviations[i]));
  }
  // A few tenths of a millimetre, not flat.
  EXPECT_GT(hi - lo, 0.1);
  EXPECT_LT(hi - lo, 2.0);

  const std::string path = testfiles::tempPath("grid.ses");
  std::string err;
  ASSERT_TRUE(sessionmaker::writeSession(path, s, err)) << err;
  SessionModel model;
  model.SetPath(path.c_str());
  ASSERT_TRUE(model.ReadSessionFile()) << model.error();
  EXPECT_EQ(model.pointCount, w * w);
  EXPECT_EQ(model.triangleCount, 2 * (w - 1) * (w - 1));
  ASSERT_TRUE(model.hasNominalPoints());
  EXPECT_EQ(model.points[17], s.points[17]);
  EXPECT_EQ(model.nominalPoints[17], s.nominal[17]);
  EXPECT_EQ(model.deviations[17], s.deviations[17]);
  EXPECT_EQ(model.normalIndexOf(5), 5);
  EXPECT_FALSE(model.triangleNormalIndices.present()); // every normal index is its position
}

TEST(SessionMaking, SeedDecidesTheField) {
  Mesh mesh;
  for (int i = 0; i < 200; ++i)
    mesh.vertices.push_back({std::cos(i * 0.1) * 50, std::sin(i * 0.1) * 50, i * 0.25});
  const auto a = sessionmaker::makeSession(mesh, 3, false, 100);
  const auto b = sessionmaker::makeSession(mesh, 3, false, 100);
  const auto c = sessionmaker::makeSession(mesh, 4, false, 100);
  EXPECT_EQ(a.deviations, b.deviations);
  EXPECT_NE(a.deviations, c.deviations);
  EXPECT_TRUE(a.nominal.empty());
}

TEST(SessionMaking, SyntheticFilesAreValidSessions) {
  for (std::int64_t n : {1, 2, 3, 10, 1000, 1001}) {
    SCOPED_TRACE(n);
    const std::string path = testfiles::tempPath("synthetic.ses");
    std::string err;
    std::int64_t triangles = -1;
    ASSERT_TRUE(sessionmaker::writeSyntheticSession(path, n, 1, n % 2 == 0, err, &triangles))
        << err;
    SessionModel model;
    model.SetPath(path.c_str());
    ASSERT_TRUE(model.ReadSessionFile()) << model.error(); // every corner index is valid
    EXPECT_FALSE(model.triangleNormalIndices.present());
    EXPECT_EQ(model.pointCount, n);
    EXPECT_EQ(model.triangleCount, triangles);
    EXPECT_EQ(model.hasNominalPoints(), n % 2 == 0);
    // About two triangles per point once the grid is larger than its rim.
    if (n >= 1000) {
      EXPECT_GT(triangles, 2 * n - 4 * 32);
      EXPECT_LE(triangles, 2 * n);
    }
  }
  // 10 points: a 4-wide grid with two full rows and a partial row of two.
  const std::string path = testfiles::tempPath("ten.ses");
  std::string err;
  std::int64_t t = 0;
  ASSERT_TRUE(sessionmaker::writeSyntheticSession(path, 10, 1, false, err, &t));
  EXPECT_EQ(t, 8);
}
