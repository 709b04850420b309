#include "analysis/NearestPointIndex.h"

#include <algorithm>
#include <limits>

namespace {
constexpr std::uint32_t kLeafSize = 16;

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

NearestPointIndex::NearestPointIndex(const Vec3f *pts, std::size_t n) : count_(n) {
  entries_.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Entry e{pts[i], static_cast<std::int32_t>(i)};
    (finite(pts[i]) ? entries_ : nonFinite_).push_back(e);
  }
  if (!entries_.empty()) {
    nodes_.reserve(4 * (entries_.size() / kLeafSize + 1));
    float lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::numeric_limits<float>::infinity();
      hi[k] = -std::numeric_limits<float>::infinity();
    }
    for (const Entry &e : entries_)
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], e.p[k]);
        hi[k] = std::max(hi[k], e.p[k]);
      }
    build(0, static_cast<std::uint32_t>(entries_.size()), lo, hi);
  }
}

std::uint32_t NearestPointIndex::build(std::uint32_t begin, std::uint32_t end,
                                       const float cellLo[3], const float cellHi[3]) {
  const auto self = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back({});
  Node node{};
  node.begin = begin;
  node.end = end;
  if (end - begin > kLeafSize) {
    // The split axis comes from the cell (the parent's cell cut at the median), which needs no
    // pass over the points; the tight boxes used for pruning are merged bottom-up.
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (cellHi[k] - cellLo[k] > cellHi[axis] - cellLo[axis])
        axis = k;
    const std::uint32_t mid = begin + (end - begin) / 2;
    std::nth_element(entries_.begin() + begin, entries_.begin() + mid, entries_.begin() + end,
                     [axis](const Entry &a, const Entry &b) { return a.p[axis] < b.p[axis]; });
    const float split = entries_[mid].p[axis];
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
    for (std::uint32_t i = begin; i < end; ++i)
      node.minId = std::min(node.minId, entries_[i].id);
    for (int k = 0; k < 3; ++k) {
      node.lo[k] = std::numeric_limits<float>::infinity();
      node.hi[k] = -std::numeric_limits<float>::infinity();
    }
    for (std::uint32_t i = begin; i < end; ++i)
      for (int k = 0; k < 3; ++k) {
        node.lo[k] = std::min(node.lo[k], entries_[i].p[k]);
        node.hi[k] = std::max(node.hi[k], entries_[i].p[k]);
      }
  }
  nodes_[self] = node;
  return self;
}

void NearestPointIndex::consider(const Entry &e, const Vec3d &q, Best &best) {
  const double d = l1Distance(e.p, q);
  if (std::isnan(d))
    return;
  // Minimum distance, then lowest index: the scan's first-of-equals rule in any visiting order.
  if (best.id < 0 || d < best.dist || (d == best.dist && e.id < best.id)) {
    best.dist = d;
    best.id = e.id;
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
      consider(entries_[i], q, best);
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
    for (const Entry &e : entries_)
      consider(e, q, best);
    for (const Entry &e : nonFinite_)
      consider(e, q, best);
  } else {
    if (!nodes_.empty())
      search(0, q, best);
    // Points with infinite coordinates can only tie or win when every finite point is at an
    // infinite distance too.
    if (best.id < 0 || std::isinf(best.dist))
      for (const Entry &e : nonFinite_)
        consider(e, q, best);
  }
  if (dist)
    *dist = best.id < 0 ? std::numeric_limits<double>::quiet_NaN() : best.dist;
  return best.id;
}
