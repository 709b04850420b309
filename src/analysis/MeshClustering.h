#pragma once
#include "geometry/Vec3f.h"
#include "session/SessionModel.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// What vertex clustering reads: the model's arrays (borrowed, not copied) and, optionally,
// where each point is drawn when that differs from the point (a magnified display).
struct ClusterInput {
  const Vec3f *points = nullptr;
  std::size_t pointCount = 0;
  const Vec3f *normals = nullptr;    // null: normals from the coarse triangles
  const float *deviations = nullptr; // null: every cell has deviation 0
  const Triangle *triangles = nullptr;
  std::size_t triangleCount = 0;
  std::function<Vec3f(std::size_t)> drawnPosition; // unset: the point itself
  // Checked now and then; when it turns true the clustering stops with an empty mesh.
  const std::atomic<bool> *cancel = nullptr;
  bool keepPointCells = false; // fill CoarseMesh::pointCells
};

// A coarser stand-in for a mesh: one vertex per occupied grid cell at the mean drawn
// position of its points, carrying the deviation of largest magnitude among them, so that a
// spot out of tolerance keeps its colour however coarse the grid.
struct CoarseMesh {
  std::vector<Vec3f> positions;
  std::vector<Vec3f> normals;
  std::vector<float> deviations;
  std::vector<std::uint32_t> indices;    // three per triangle, orientation kept
  std::vector<std::uint32_t> pointCells; // vertex of each point, when asked for
  double cellSize = 0;

  std::size_t triangleCount() const { return indices.size() / 3; }
  std::size_t vertexCount() const { return positions.size(); }
  // Approximate heap size.
  std::size_t bytes() const;
};

// Clusters the points on a grid of cubes with the given edge length: triangles whose
// corners fall into three different cells become one coarse triangle (duplicates dropped),
// the others vanish. Triangles with a corner outside the points are skipped.
CoarseMesh clusterMesh(const ClusterInput &in, double cellSize);

// Clustering with the cell size chosen from the mesh's area so that about targetTriangles
// remain (a few tries, each refining the size).
CoarseMesh decimateMesh(const ClusterInput &in, std::size_t targetTriangles);
// decimateMesh, then coarser cells (10 % larger each time) until at most maxTriangles remain:
// a budget that is a limit, not an aim.
CoarseMesh decimateMeshWithin(const ClusterInput &in, std::size_t maxTriangles);
