// Vertex clustering of a mesh into the coarse stand-in drawn while the view is dragged: sizes,
// valid triangles, and the worst deviation of every cell kept.
#include "analysis/MeshClustering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

namespace {

// A gently waved height field facing +z, side x side points, 0.1 apart, with small
// deviations and a few single points far out of tolerance.
struct Grid {
  std::vector<Vec3f> pts, normals;
  std::vector<float> dev;
  std::vector<Triangle> tris;
  std::vector<std::size_t> spikes;

  explicit Grid(int side) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> small(-0.2f, 0.2f);
    for (int j = 0; j < side; ++j)
      for (int i = 0; i < side; ++i) {
        const float x = 0.1f * float(i), y = 0.1f * float(j);
        pts.push_back({x, y, 0.3f * std::sin(x) * std::cos(y)});
        normals.push_back({0, 0, 1});
        dev.push_back(small(rng));
      }
    for (std::size_t k = 137; k < pts.size(); k += 4111) {
      dev[k] = k % 2 ? 0.9f : -0.7f;
      spikes.push_back(k);
    }
    for (int j = 0; j + 1 < side; ++j)
      for (int i = 0; i + 1 < side; ++i) {
        const std::int32_t a = j * side + i;
        tris.push_back({a, a + 1, a + side + 1});
        tris.push_back({a, a + side + 1, a + side});
      }
  }
  ClusterInput input() const {
    ClusterInput in;
    in.points = pts.data();
    in.pointCount = pts.size();
    in.normals = normals.data();
    in.deviations = dev.data();
    in.triangles = tris.data();
    in.triangleCount = tris.size();
    in.keepPointCells = true;
    return in;
  }
};

} // namespace

TEST(MeshClustering, CoarseMeshFitsTheTargetWithValidOutwardTriangles) {
  const Grid g(300); // 178,802 triangles
  const CoarseMesh m = decimateMesh(g.input(), 4000);
  EXPECT_GT(m.triangleCount(), 1000u);
  EXPECT_LE(m.triangleCount(), 5000u);
  std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> seen;
  for (std::size_t k = 0; k < m.indices.size(); k += 3) {
    std::uint32_t a = m.indices[k], b = m.indices[k + 1], c = m.indices[k + 2];
    ASSERT_LT(std::max({a, b, c}), m.vertexCount());
    EXPECT_TRUE(a != b && b != c && a != c);
    // The orientation survives clustering: culled back faces stay back faces.
    const Vec3f u = m.positions[b] - m.positions[a], v = m.positions[c] - m.positions[a];
    EXPECT_GT(u.x * v.y - u.y * v.x, 0.0f) << k;
    while (a > b || a > c)
      std::tie(a, b, c) = std::make_tuple(b, c, a);
    EXPECT_TRUE(seen.insert({a, b, c}).second) << "duplicate triangle";
  }
  for (const Vec3f &n : m.normals)
    EXPECT_NEAR(n.z, 1.0f, 1e-6f);
}

TEST(MeshClustering, EveryCellKeepsItsWorstDeviationSoSpotsOutOfToleranceStay) {
  const Grid g(300);
  const CoarseMesh m = decimateMesh(g.input(), 4000);
  ASSERT_EQ(m.pointCells.size(), g.pts.size());
  std::map<std::uint32_t, float> worst;
  for (std::size_t i = 0; i < g.pts.size(); ++i) {
    float &w = worst[m.pointCells[i]];
    if (std::fabs(g.dev[i]) > std::fabs(w))
      w = g.dev[i];
  }
  for (const auto &[cell, w] : worst)
    EXPECT_EQ(m.deviations[cell], w) << cell;
  // Each spike's cell carries the spike's value and is drawn by some coarse triangle.
  std::set<std::uint32_t> used(m.indices.begin(), m.indices.end());
  for (std::size_t k : g.spikes) {
    EXPECT_EQ(m.deviations[m.pointCells[k]], g.dev[k]) << k;
    EXPECT_TRUE(used.count(m.pointCells[k])) << k;
  }
}

TEST(MeshClustering, DrawnPositionsBadCornersAndCancelling) {
  Grid g(40);
  g.tris.push_back({0, -1, 5});
  g.tris.push_back({0, 1, std::int32_t(g.pts.size())});
  ClusterInput in = g.input();
  in.drawnPosition = [&g](std::size_t i) { return g.pts[i] + Vec3f{0, 0, 2}; };
  const CoarseMesh lifted = clusterMesh(in, 0.5);
  const CoarseMesh plain = clusterMesh(g.input(), 0.5);
  ASSERT_EQ(lifted.vertexCount(), plain.vertexCount());
  EXPECT_EQ(lifted.indices, plain.indices);
  for (std::size_t v = 0; v < plain.vertexCount(); ++v)
    EXPECT_NEAR(lifted.positions[v].z, plain.positions[v].z + 2, 1e-5f);

  std::atomic<bool> stop{true};
  in.cancel = &stop;
  EXPECT_EQ(decimateMesh(in, 100).vertexCount(), 0u);
}
