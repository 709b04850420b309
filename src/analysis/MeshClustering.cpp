#include "analysis/MeshClustering.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr std::size_t kCancelCheck = 1 << 16;

bool cancelled(const ClusterInput &in) {
  return in.cancel && in.cancel->load(std::memory_order_relaxed);
}

struct Bounds {
  double min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
};

Bounds boundsOf(const ClusterInput &in) {
  Bounds b;
  for (int k = 0; k < 3; ++k) {
    b.min[k] = std::numeric_limits<double>::max();
    b.max[k] = std::numeric_limits<double>::lowest();
  }
  for (std::size_t i = 0; i < in.pointCount; ++i)
    for (int k = 0; k < 3; ++k) {
      const double v = in.points[i][k];
      // Non-finite coordinates are left out of the grid (their points join cell 0).
      if (!std::isfinite(v))
        continue;
      b.min[k] = std::min(b.min[k], v);
      b.max[k] = std::max(b.max[k], v);
    }
  for (int k = 0; k < 3; ++k)
    if (b.min[k] > b.max[k])
      b.min[k] = b.max[k] = 0;
  return b;
}

// Packs a coarse triangle, rotated so that its smallest index comes first (a rotation keeps
// the orientation), when the indices fit 21 bits each.
std::uint64_t triangleKey(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  if (b < a && b < c)
    std::tie(a, b, c) = std::make_tuple(b, c, a);
  else if (c < a && c < b)
    std::tie(a, b, c) = std::make_tuple(c, a, b);
  return (std::uint64_t(a) << 42) | (std::uint64_t(b) << 21) | std::uint64_t(c);
}

} // namespace

std::size_t CoarseMesh::bytes() const {
  return positions.capacity() * sizeof(Vec3f) + normals.capacity() * sizeof(Vec3f) +
         deviations.capacity() * sizeof(float) + indices.capacity() * sizeof(std::uint32_t) +
         pointCells.capacity() * sizeof(std::uint32_t);
}

CoarseMesh clusterMesh(const ClusterInput &in, double cellSize) {
  CoarseMesh out;
  if (!in.points || in.pointCount == 0 || !(cellSize > 0))
    return out;
  const Bounds box = boundsOf(in);
  // Keep every axis below 2^20 cells so that the cell key fits 64 bits.
  double h = cellSize;
  for (int k = 0; k < 3; ++k)
    h = std::max(h, (box.max[k] - box.min[k]) / double(1 << 20));
  out.cellSize = h;
  std::uint64_t dims[3];
  for (int k = 0; k < 3; ++k)
    dims[k] = std::uint64_t((box.max[k] - box.min[k]) / h) + 1;
  auto cellKey = [&](const Vec3f &p) {
    std::uint64_t idx[3];
    for (int k = 0; k < 3; ++k) {
      const double t = (double(p[k]) - box.min[k]) / h;
      idx[k] = std::isfinite(t) && t > 0 ? std::min(std::uint64_t(t), dims[k] - 1) : 0;
    }
    return idx[0] + dims[0] * (idx[1] + dims[1] * idx[2]);
  };

  // Points to cells; grid-ordered files put neighbours next to each other, so the last
  // cell is tried first.
  std::vector<std::uint32_t> cellOf(in.pointCount);
  std::unordered_map<std::uint64_t, std::uint32_t> cells;
  struct Sum {
    double p[3] = {0, 0, 0}, n[3] = {0, 0, 0};
    std::uint32_t count = 0;
    float worst = 0;
  };
  std::vector<Sum> sums;
  std::uint64_t lastKey = ~std::uint64_t(0);
  std::uint32_t lastCell = 0;
  for (std::size_t i = 0; i < in.pointCount; ++i) {
    if (i % kCancelCheck == 0 && cancelled(in))
      return {};
    const std::uint64_t key = cellKey(in.points[i]);
    if (key != lastKey) {
      auto [it, added] = cells.try_emplace(key, std::uint32_t(sums.size()));
      if (added)
        sums.emplace_back();
      lastKey = key;
      lastCell = it->second;
    }
    cellOf[i] = lastCell;
    Sum &s = sums[lastCell];
    const Vec3f p = in.drawnPosition ? in.drawnPosition(i) : in.points[i];
    for (int k = 0; k < 3; ++k)
      s.p[k] += p[k];
    if (in.normals)
      for (int k = 0; k < 3; ++k)
        s.n[k] += in.normals[i][k];
    ++s.count;
    if (in.deviations && std::fabs(in.deviations[i]) > std::fabs(s.worst))
      s.worst = in.deviations[i];
  }
  std::unordered_map<std::uint64_t, std::uint32_t>().swap(cells);

  const std::size_t vc = sums.size();
  out.positions.resize(vc);
  out.normals.assign(vc, Vec3f{0, 0, 0});
  out.deviations.resize(vc);
  for (std::size_t c = 0; c < vc; ++c) {
    const Sum &s = sums[c];
    const double inv = 1.0 / double(s.count);
    out.positions[c] = {float(s.p[0] * inv), float(s.p[1] * inv), float(s.p[2] * inv)};
    if (in.normals)
      out.normals[c] = normalised(Vec3f{float(s.n[0]), float(s.n[1]), float(s.n[2])});
    out.deviations[c] = s.worst;
  }
  std::vector<Sum>().swap(sums);

  const bool dedup = vc < (std::size_t(1) << 21);
  std::unordered_set<std::uint64_t> seen;
  for (std::size_t t = 0; t < in.triangleCount; ++t) {
    if (t % kCancelCheck == 0 && cancelled(in))
      return {};
    const Triangle &r = in.triangles[t];
    if (!cornersWithin(r, in.pointCount))
      continue;
    const std::uint32_t a = cellOf[std::size_t(r.a)], b = cellOf[std::size_t(r.b)],
                        c = cellOf[std::size_t(r.c)];
    if (a == b || b == c || a == c)
      continue;
    if (dedup && !seen.insert(triangleKey(a, b, c)).second)
      continue;
    out.indices.insert(out.indices.end(), {a, b, c});
  }
  if (!in.normals) {
    // Area-weighted normals of the coarse triangles.
    for (std::size_t k = 0; k + 2 < out.indices.size(); k += 3) {
      const std::uint32_t a = out.indices[k], b = out.indices[k + 1], c = out.indices[k + 2];
      const Vec3f n =
          cross(out.positions[b] - out.positions[a], out.positions[c] - out.positions[a]);
      for (std::uint32_t v : {a, b, c})
        out.normals[v] = out.normals[v] + n;
    }
    for (Vec3f &n : out.normals)
      n = normalised(n);
  }
  if (in.keepPointCells)
    out.pointCells = std::move(cellOf);
  return out;
}

CoarseMesh decimateMesh(const ClusterInput &in, std::size_t targetTriangles) {
  if (!in.points || in.pointCount == 0)
    return {};
  const std::size_t target = std::max<std::size_t>(targetTriangles, 16);
  double area = 0;
  for (std::size_t t = 0; t < in.triangleCount; ++t) {
    const Triangle &r = in.triangles[t];
    if (!cornersWithin(r, in.pointCount))
      continue;
    const Vec3f &a = in.points[std::size_t(r.a)];
    const Vec3f n = cross(in.points[std::size_t(r.b)] - a, in.points[std::size_t(r.c)] - a);
    const double l = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
    if (std::isfinite(l))
      area += 0.5 * l;
  }
  // A surface cut into cells of edge h keeps about area / h^2 cells and twice as many
  // triangles.
  const double cells = double(target) / 2.0;
  double h = 0;
  if (area > 0) {
    h = std::sqrt(area / cells);
  } else {
    const Bounds b = boundsOf(in);
    const double d = std::hypot(b.max[0] - b.min[0], b.max[1] - b.min[1], b.max[2] - b.min[2]);
    h = d > 0 ? d / std::cbrt(cells) : 1.0;
  }
  CoarseMesh mesh;
  for (int attempt = 0; attempt < 4; ++attempt) {
    mesh = clusterMesh(in, h);
    if (cancelled(in))
      return {};
    const double ratio = double(mesh.triangleCount()) / double(target);
    if (ratio <= 1.25)
      break;
    h *= std::sqrt(ratio) * 1.05;
  }
  return mesh;
}

CoarseMesh decimateMeshWithin(const ClusterInput &in, std::size_t maxTriangles) {
  CoarseMesh coarse = decimateMesh(in, maxTriangles);
  while (coarse.triangleCount() > maxTriangles && coarse.cellSize > 0)
    coarse = clusterMesh(in, coarse.cellSize * 1.1);
  return coarse;
}
