#include "analysis/NearestPointIndex.h"

#include <algorithm>
#include <limits>

namespace {
constexpr std::uint32_t kLeafSize = 32;
// Ranges up to this size fit in the cache: an exact median costs little there.
constexpr std::uint32_t kExactMedianBelow = 4096;
// How often a large build looks at the cancel request: once per range of at least this size,
// and every this many points of a pass.
constexpr std::uint32_t kCancelCheckAbove = 1u << 14;
constexpr std::uint32_t kCancelCheckMask = (1u << 18) - 1;

bool finite(const Vec3f &p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}
bool finite(const Vec3d &p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

} // namespace

int nearestPointLinear(const Vec3f *pts, std::size_t n, const Vec3d &q, double *dist) {
  int best = -1;
  double bestDist = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = l1Distance(pts[i], q);
    if (std::isnan(d))
      continue;
    if (best < 0 || d < bestDist) {
      best = static_cast<int>(i);
      bestDist = d;
    }
  }
  if (dist)
    *dist = best < 0 ? std::numeric_limits<double>::quiet_NaN() : bestDist;
  return best;
}

NearestPointIndex::NearestPointIndex(const Vec3f *pts, std::size_t n, IndexBuildControl *control)
    : pts_(pts), count_(n), control_(control) {
  ids_.reserve(n);
  float lo[3], hi[3];
  for (int k = 0; k < 3; ++k) {
    lo[k] = std::numeric_limits<float>::infinity();
    hi[k] = -std::numeric_limits<float>::infinity();
  }
  for (std::size_t i = 0; i < n; ++i) {
    if ((i & kCancelCheckMask) == 0 && cancelled())
      break;
    const Vec3f &p = pts[i];
    if (!finite(p)) {
      nonFinite_.push_back(static_cast<std::uint32_t>(i));
      continue;
    }
    ids_.push_back(static_cast<std::uint32_t>(i));
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], p[k]);
      hi[k] = std::max(hi[k], p[k]);
    }
  }
  if (!ids_.empty() && !cancelled()) {
    // Nodes are reserved, not touched: pages never written cost no memory.
    nodes_.reserve(4 * (ids_.size() / kLeafSize + 1));
    scratch_.reserve(ids_.size() / 2 + ids_.size() / 8 + 64);
    build(0, static_cast<std::uint32_t>(ids_.size()), lo, hi);
  }
  scratch_ = {};
  if (cancelled()) {
    ids_ = {};
    nodes_ = {};
    nonFinite_ = {};
    count_ = 0;
  }
  control_ = nullptr;
}

std::size_t NearestPointIndex::bytes() const {
  return (ids_.size() + nonFinite_.size()) * sizeof(std::uint32_t) + nodes_.size() * sizeof(Node);
}

float NearestPointIndex::splitValue(std::uint32_t begin, std::uint32_t end, int axis) const {
  // The median of a sample. Positions follow a Weyl sequence: evenly spaced ones could all
  // fall in one column of a grid stored row by row.
  constexpr std::uint32_t kSamples = 63;
  float v[kSamples];
  const std::uint64_t size = end - begin;
  std::uint32_t h = 0;
  for (std::uint32_t k = 0; k < kSamples; ++k) {
    h += 0x9E3779B9u;
    v[k] = pts_[ids_[begin + static_cast<std::uint32_t>((h * size) >> 32)]][axis];
  }
  std::nth_element(v, v + kSamples / 2, v + kSamples);
  return v[kSamples / 2];
}

std::uint32_t NearestPointIndex::partition(std::uint32_t begin, std::uint32_t end, int axis,
                                           float split, bool orEqual) {
  // Stable: point numbers stay ascending within each side, so the coordinates are read in
  // memory order, which keeps the large ranges near the top of the tree fast.
  scratch_.clear();
  std::uint32_t w = begin;
  for (std::uint32_t i = begin; i < end; ++i) {
    if (((i - begin) & kCancelCheckMask) == 0 && cancelled())
      return begin + (end - begin) / 2; // the tree is dropped; any split will do
    const std::uint32_t id = ids_[i];
    const float v = pts_[id][axis];
    if (v < split || (orEqual && v == split))
      ids_[w++] = id;
    else
      scratch_.push_back(id);
  }
  std::copy(scratch_.begin(), scratch_.end(), ids_.begin() + w);
  return w;
}

std::uint32_t NearestPointIndex::build(std::uint32_t begin, std::uint32_t end,
                                       const float cellLo[3], const float cellHi[3]) {
  const auto self = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back({});
  Node node{};
  node.begin = begin;
  node.end = end;
  const std::uint32_t size = end - begin;
  if (size > kCancelCheckAbove && cancelled())
    return self; // the constructor drops the unfinished tree
  if (size > kLeafSize) {
    // The split axis comes from the cell (the parent's cell cut at the split), which needs no
    // pass over the points; the tight boxes used for pruning are merged bottom-up.
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (cellHi[k] - cellLo[k] > cellHi[axis] - cellLo[axis])
        axis = k;
    std::uint32_t mid = 0;
    float split = 0;
    const auto lopsided = [&] { return mid - begin < size / 8 || end - mid < size / 8; };
    if (size > kExactMedianBelow) {
      split = splitValue(begin, end, axis);
      mid = partition(begin, end, axis, split, false);
      // Many points equal to the sampled value can leave the lower side nearly empty.
      if (mid - begin < size / 8)
        mid = partition(begin, end, axis, split, true);
    }
    if (size <= kExactMedianBelow || lopsided()) {
      mid = begin + size / 2;
      std::nth_element(
          ids_.begin() + begin, ids_.begin() + mid, ids_.begin() + end,
          [this, axis](std::uint32_t a, std::uint32_t b) { return pts_[a][axis] < pts_[b][axis]; });
      split = pts_[ids_[mid]][axis];
    }
    float leftHi[3] = {cellHi[0], cellHi[1], cellHi[2]};
    float rightLo[3] = {cellLo[0], cellLo[1], cellLo[2]};
    leftHi[axis] = split;
    rightLo[axis] = split;
    build(begin, mid, cellLo, leftHi);
    node.right = build(mid, end, rightLo, cellHi);
    const Node &l = nodes_[self + 1], &r = nodes_[node.right];
    node.minId = std::min(l.minId, r.minId);
    for (int k = 0; k < 3; ++k) {
      node.lo[k] = std::min(l.lo[k], r.lo[k]);
      node.hi[k] = std::max(l.hi[k], r.hi[k]);
    }
  } else {
    node.right = 0; // leaf
    node.minId = std::numeric_limits<std::int32_t>::max();
    for (int k = 0; k < 3; ++k) {
      node.lo[k] = std::numeric_limits<float>::infinity();
      node.hi[k] = -std::numeric_limits<float>::infinity();
    }
    for (std::uint32_t i = begin; i < end; ++i) {
      const std::uint32_t id = ids_[i];
      node.minId = std::min(node.minId, static_cast<std::int32_t>(id));
      for (int k = 0; k < 3; ++k) {
        node.lo[k] = std::min(node.lo[k], pts_[id][k]);
        node.hi[k] = std::max(node.hi[k], pts_[id][k]);
      }
    }
    if (control_)
      control_->placed.fetch_add(size, std::memory_order_relaxed);
  }
  nodes_[self] = node;
  return self;
}

void NearestPointIndex::consider(std::uint32_t id, const Vec3d &q, Best &best) const {
  const double d = l1Distance(pts_[id], q);
  if (std::isnan(d))
    return;
  // Minimum distance, then lowest index: the scan's first-of-equals rule in any visiting order.
  const auto i = static_cast<std::int32_t>(id);
  if (best.id < 0 || d < best.dist || (d == best.dist && i < best.id)) {
    best.dist = d;
    best.id = i;
  }
}

namespace {
// The scan's own expression evaluated at the box point nearest to q. Rounding is monotone, so
// no point in the box can come out smaller: an exact bound, no safety margin needed.
double boxL1(const float lo[3], const float hi[3], const Vec3d &q) {
  double s = 0;
  for (int k = 0; k < 3; ++k) {
    const double l = lo[k], h = hi[k];
    if (q[k] < l)
      s += l - q[k];
    else if (q[k] > h)
      s += q[k] - h;
  }
  return s;
}
} // namespace

void NearestPointIndex::search(std::uint32_t n, const Vec3d &q, Best &best) const {
  const Node &node = nodes_[n];
  if (node.right == 0) {
    for (std::uint32_t i = node.begin; i < node.end; ++i)
      consider(ids_[i], q, best);
    return;
  }
  std::uint32_t first = n + 1, second = node.right;
  double lbFirst = boxL1(nodes_[first].lo, nodes_[first].hi, q);
  double lbSecond = boxL1(nodes_[second].lo, nodes_[second].hi, q);
  // Nearer box first; on equal bounds the one holding lower indices, which settles ties fast.
  if (lbSecond < lbFirst || (lbSecond == lbFirst && nodes_[second].minId < nodes_[first].minId)) {
    std::swap(first, second);
    std::swap(lbFirst, lbSecond);
  }
  for (const auto &[child, lb] : {std::pair{first, lbFirst}, std::pair{second, lbSecond}}) {
    // A box at the best distance can still hold an equal point with a lower index.
    if (best.id >= 0 && (lb > best.dist || (lb == best.dist && nodes_[child].minId > best.id)))
      continue;
    search(child, q, best);
  }
}

int NearestPointIndex::nearest(const Vec3d &q, double *dist) const {
  Best best;
  if (!finite(q)) {
    // Rare (a failed unprojection gives finite values); the plain rule over every point.
    for (const std::uint32_t id : ids_)
      consider(id, q, best);
    for (const std::uint32_t id : nonFinite_)
      consider(id, q, best);
  } else {
    if (!nodes_.empty())
      search(0, q, best);
    // Points with infinite coordinates can only tie or win when every finite point is at an
    // infinite distance too.
    if (best.id < 0 || std::isinf(best.dist))
      for (const std::uint32_t id : nonFinite_)
        consider(id, q, best);
  }
  if (dist)
    *dist = best.id < 0 ? std::numeric_limits<double>::quiet_NaN() : best.dist;
  return best.id;
}
