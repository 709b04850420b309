#include "analysis/SectionChainer.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// Candidate order key: segment index * 2, plus 1 for its end point. Lower keys win ties,
// exactly as an index-order scan that looks at a start before its end would.
using Key = std::uint32_t;
constexpr Key kNone = std::numeric_limits<Key>::max();

struct Best {
  float dist = 0;
  Key key = kNone;
  void consider(float d, Key k) {
    if (key == kNone || d < dist || (d == dist && k < key)) {
      dist = d;
      key = k;
    }
  }
};

SectionSegment oriented(const SectionSegment &s, bool reversed) {
  return reversed ? SectionSegment{s.end, s.start} : s;
}

// A k-d tree over all segment end points, built once; chained segments are removed by counting
// live entries per node, so the search skips emptied regions of the plane in one step.
class EndpointTree {
public:
  explicit EndpointTree(const std::vector<SectionSegment> &segs) : segs_(segs) {
    const auto n = static_cast<std::uint32_t>(2 * segs.size());
    entries_.resize(n);
    for (std::uint32_t k = 0; k < n; ++k)
      entries_[k] = {endpoint(k), k};
    leafOf_.resize(n);
    used_.assign(segs.size(), 0);
    if (n > 0)
      build(0, n, kNone);
  }

  void remove(std::uint32_t seg) {
    used_[seg] = 1;
    for (Key k : {2 * seg, 2 * seg + 1})
      for (std::uint32_t n = leafOf_[k]; n != kNone; n = nodes_[n].parent)
        --nodes_[n].alive;
  }

  Best nearest(const Vec3d &q) const {
    Best best;
    if (!nodes_.empty())
      search(0, q, best);
    return best;
  }

private:
  struct Entry {
    Vec3d p;
    Key key;
  };
  struct Node {
    double lo[3], hi[3];
    std::uint32_t begin, end, right, parent, alive;
    Key minKey; // lowest key below the node, chained or not
  };
  static constexpr std::uint32_t kLeaf = 8;

  Vec3d endpoint(Key k) const { return (k & 1) ? segs_[k >> 1].end : segs_[k >> 1].start; }

  std::uint32_t build(std::uint32_t begin, std::uint32_t end, std::uint32_t parent) {
    const auto self = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back({});
    Node node{};
    node.begin = begin;
    node.end = end;
    node.parent = parent;
    node.alive = end - begin;
    for (int a = 0; a < 3; ++a) {
      node.lo[a] = std::numeric_limits<double>::infinity();
      node.hi[a] = -std::numeric_limits<double>::infinity();
    }
    for (std::uint32_t i = begin; i < end; ++i)
      for (int a = 0; a < 3; ++a) {
        node.lo[a] = std::min(node.lo[a], entries_[i].p[a]);
        node.hi[a] = std::max(node.hi[a], entries_[i].p[a]);
      }
    if (end - begin > kLeaf) {
      int axis = 0;
      double spread = -1;
      for (int a = 0; a < 3; ++a)
        if (node.hi[a] - node.lo[a] > spread) {
          spread = node.hi[a] - node.lo[a];
          axis = a;
        }
      const std::uint32_t mid = begin + (end - begin) / 2;
      std::nth_element(entries_.begin() + begin, entries_.begin() + mid, entries_.begin() + end,
                       [axis](const Entry &x, const Entry &y) { return x.p[axis] < y.p[axis]; });
      nodes_[self] = node;
      build(begin, mid, self);
      node.right = build(mid, end, self);
      node.minKey = std::min(nodes_[self + 1].minKey, nodes_[node.right].minKey);
    } else {
      node.right = 0;
      node.minKey = kNone;
      for (std::uint32_t i = begin; i < end; ++i) {
        leafOf_[entries_[i].key] = self;
        node.minKey = std::min(node.minKey, entries_[i].key);
      }
    }
    nodes_[self] = node;
    return self;
  }

  // The chain distance to the box point nearest to q, by the same float expression. Each
  // rounding step is monotone, so no end point in the box can come out nearer: an exact bound.
  static float boxDistance(const Node &n, const Vec3d &q) {
    const Vec3d c{std::clamp(q.x, n.lo[0], n.hi[0]), std::clamp(q.y, n.lo[1], n.hi[1]),
                  std::clamp(q.z, n.lo[2], n.hi[2])};
    return chainDistance(q, c);
  }

  void search(std::uint32_t id, const Vec3d &q, Best &best) const {
    const Node &n = nodes_[id];
    if (n.right == 0) {
      for (std::uint32_t i = n.begin; i < n.end; ++i) {
        const Entry &e = entries_[i];
        if (!used_[e.key >> 1])
          best.consider(chainDistance(q, e.p), e.key);
      }
      return;
    }
    std::uint32_t first = id + 1, second = n.right;
    float lbFirst = boxDistance(nodes_[first], q), lbSecond = boxDistance(nodes_[second], q);
    if (lbSecond < lbFirst ||
        (lbSecond == lbFirst && nodes_[second].minKey < nodes_[first].minKey)) {
      std::swap(first, second);
      std::swap(lbFirst, lbSecond);
    }
    for (const auto &[child, lb] : {std::pair{first, lbFirst}, std::pair{second, lbSecond}}) {
      const Node &c = nodes_[child];
      if (c.alive == 0)
        continue;
      // At the best distance a box can still hold a lower key.
      if (best.key != kNone && (lb > best.dist || (lb == best.dist && c.minKey > best.key)))
        continue;
      search(child, q, best);
    }
  }

  const std::vector<SectionSegment> &segs_;
  std::vector<Entry> entries_;
  std::vector<Node> nodes_;
  std::vector<std::uint32_t> leafOf_;
  std::vector<unsigned char> used_;
};

} // namespace

std::vector<SectionSegment> chainSegmentsReference(const std::vector<SectionSegment> &segments) {
  std::vector<SectionSegment> chain;
  if (segments.empty())
    return chain;
  chain.reserve(segments.size());
  std::vector<unsigned char> used(segments.size(), 0);
  chain.push_back(segments[0]);
  used[0] = 1;
  Vec3d tail = segments[0].end;
  for (std::size_t step = 1; step < segments.size(); ++step) {
    Best best;
    for (std::size_t j = 0; j < segments.size(); ++j) {
      if (used[j])
        continue;
      const float ds = chainDistance(tail, segments[j].start);
      if (best.key == kNone || ds < best.dist) {
        best.dist = ds;
        best.key = static_cast<Key>(2 * j);
      }
      const float de = chainDistance(tail, segments[j].end);
      if (de < best.dist) {
        best.dist = de;
        best.key = static_cast<Key>(2 * j + 1);
      }
    }
    const std::size_t j = best.key >> 1;
    used[j] = 1;
    chain.push_back(oriented(segments[j], best.key & 1));
    tail = chain.back().end;
  }
  return chain;
}

std::vector<SectionSegment> chainSegments(const std::vector<SectionSegment> &segments) {
  std::vector<SectionSegment> chain;
  if (segments.empty())
    return chain;
  chain.reserve(segments.size());
  EndpointTree tree(segments);
  chain.push_back(segments[0]);
  tree.remove(0);
  Vec3d tail = segments[0].end;
  for (std::size_t step = 1; step < segments.size(); ++step) {
    const Best best = tree.nearest(tail);
    const std::uint32_t j = best.key >> 1;
    tree.remove(j);
    chain.push_back(oriented(segments[j], best.key & 1));
    tail = chain.back().end;
  }
  return chain;
}
