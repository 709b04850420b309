#pragma once
#include "geometry/Vec3d.h"
#include "geometry/Vec3f.h"

#include <atomic>
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

// What a build shares with another thread: a request to stop, and how far it got.
struct IndexBuildControl {
  std::atomic<bool> cancel{false};
  std::atomic<std::size_t> placed{0}; // points already in their final leaf
};

// Exact nearest-point search over a model's points: a k-d tree built once, answering with the
// same index (ties included) and distance as nearestPointLinear. The tree holds point numbers
// only and reads the coordinates from the caller's array, so a large model is not copied.
class NearestPointIndex {
public:
  NearestPointIndex() = default;
  // The points must stay alive and unchanged for as long as the index is used. With a
  // control, a cancel request ends the build early and leaves an empty index.
  NearestPointIndex(const Vec3f *pts, std::size_t n, IndexBuildControl *control = nullptr);

  int nearest(const Vec3d &q, double *dist = nullptr) const;
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Memory the index holds of its own (the points are the caller's).
  std::size_t bytes() const;

private:
  struct Node {
    float lo[3], hi[3];
    std::uint32_t begin, end; // ids_[begin, end)
    std::uint32_t right;      // index of the right child; the left child follows the node
    std::int32_t minId;       // lowest point index below the node
  };
  struct Best {
    double dist;
    std::int32_t id = -1;
  };

  // A cancel request came while building (never once the constructor has returned).
  bool cancelled() const { return control_ && control_->cancel.load(std::memory_order_relaxed); }
  std::uint32_t build(std::uint32_t begin, std::uint32_t end, const float cellLo[3],
                      const float cellHi[3]);
  float splitValue(std::uint32_t begin, std::uint32_t end, int axis) const;
  std::uint32_t partition(std::uint32_t begin, std::uint32_t end, int axis, float split,
                          bool orEqual);
  void search(std::uint32_t node, const Vec3d &q, Best &best) const;
  void consider(std::uint32_t id, const Vec3d &q, Best &best) const;

  const Vec3f *pts_ = nullptr;
  std::size_t count_ = 0;
  std::vector<std::uint32_t> ids_;       // finite points in tree order
  std::vector<Node> nodes_;              // preorder
  std::vector<std::uint32_t> nonFinite_; // points with an infinite or NaN coordinate
  // Build only: the right half of a partition, and the caller's control.
  std::vector<std::uint32_t> scratch_;
  IndexBuildControl *control_ = nullptr;
};
