#pragma once
#include "geometry/Vec3d.h"
#include "geometry/Vec3f.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// L1 distance from a stored point to a query as the pickers add it: the float point is widened
// to double, the absolute differences are summed left to right. Every nearest-point search must
// use exactly this expression so that the index and the scan agree to the last bit.
inline double l1Distance(const Vec3f &p, const Vec3d &q) {
  return std::fabs(static_cast<double>(p.x) - q.x) + std::fabs(static_cast<double>(p.y) - q.y) +
         std::fabs(static_cast<double>(p.z) - q.z);
}

// The reference search: index of the point with the smallest L1 distance to q, scanning in
// index order, a later point winning only when strictly nearer (so the first of equal points
// wins). Points whose distance is not a number (NaN coordinates) never win. -1 when no point
// qualifies; dist receives the winner's distance.
int nearestPointLinear(const Vec3f *pts, std::size_t n, const Vec3d &q, double *dist = nullptr);

// Exact nearest-point search over a model's points: a k-d tree built once, answering with the
// same index (ties included) and distance as nearestPointLinear.
class NearestPointIndex {
public:
  NearestPointIndex() = default;
  // Copies the points; the source may go away afterwards.
  NearestPointIndex(const Vec3f *pts, std::size_t n);

  int nearest(const Vec3d &q, double *dist = nullptr) const;
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

private:
  struct Entry {
    Vec3f p;
    std::int32_t id;
  };
  struct Node {
    float lo[3], hi[3];
    std::uint32_t begin, end; // entries_[begin, end)
    std::uint32_t right;      // index of the right child; the left child follows the node
    std::int32_t minId;       // lowest point index below the node
  };
  struct Best {
    double dist;
    std::int32_t id = -1;
  };

  std::uint32_t build(std::uint32_t begin, std::uint32_t end, const float cellLo[3],
                      const float cellHi[3]);
  void search(std::uint32_t node, const Vec3d &q, Best &best) const;
  static void consider(const Entry &e, const Vec3d &q, Best &best);

  std::size_t count_ = 0;
  std::vector<Entry> entries_;   // finite points in tree order
  std::vector<Node> nodes_;      // preorder
  std::vector<Entry> nonFinite_; // points with an infinite or NaN coordinate, kept for the scan
};
