#include "analysis/WorstPoints.h"

#include "analysis/ColourScale.h"
#include "session/SessionModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <utility>

namespace {

// One candidate as a single sortable word: |deviation| (a non-negative float, whose bits
// order like its value) above the complemented index, so that the larger key is the larger
// deviation and, between equal deviations, the lower index.
using Key = std::uint64_t;

std::uint32_t absBits(float d) { return std::bit_cast<std::uint32_t>(std::fabs(d)); }
Key keyOf(std::uint32_t absDeviationBits, std::uint32_t index) {
  return (static_cast<Key>(absDeviationBits) << 32) | static_cast<Key>(0xFFFFFFFFu - index);
}
std::uint32_t indexOf(Key k) { return 0xFFFFFFFFu - static_cast<std::uint32_t>(k); }

// Candidates are grouped by buckets of |deviation|: the top 16 bits of its float (the sign bit
// is 0), i.e. 128 buckets per power of two.
constexpr int kBucketShift = 15;
constexpr std::size_t kBuckets = std::size_t{1} << 16;

// sqrt(dx² + dy² + dz²) < spacing, the square root taken only where comparing the squares
// could decide otherwise (within a few ulps of the spacing).
class Spacing {
public:
  explicit Spacing(double spacing)
      : d_(spacing), below_(spacing * spacing * (1 - 1e-14)),
        above_(spacing * spacing * (1 + 1e-14)) {}

  bool closer(const Vec3f &a, const Vec3f &b) const {
    const double dx = static_cast<double>(a.x) - static_cast<double>(b.x);
    const double dy = static_cast<double>(a.y) - static_cast<double>(b.y);
    const double dz = static_cast<double>(a.z) - static_cast<double>(b.z);
    const double d2 = dx * dx + dy * dy + dz * dz;
    if (d2 < below_)
      return true;
    if (d2 > above_)
      return false;
    return std::sqrt(d2) < d_;
  }
  double value() const { return d_; }

private:
  double d_, below_, above_;
};

// The points chosen so far, filed in a coarse grid over the candidates: cells at least the
// spacing wide (at most 128 per axis), each chosen point listed in its cell and the 26 around
// it, so that a point closer than the spacing to a chosen one finds it in its own cell's list
// and a point far from all of them finds an empty list.
class ChosenPoints {
public:
  ChosenPoints(const Vec3d &lo, const Vec3d &hi, double spacing)
      : spacing_(spacing > 0 ? spacing : 0.0), lo_(lo) {
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z, 0.0});
    cell_ = std::max(spacing_.value(), extent / 128) * (1 + 1e-9);
    if (!(spacing_.value() > 0) || !std::isfinite(cell_) || !(lo.x <= hi.x))
      return; // nothing to keep apart, or no candidate with finite coordinates
    for (int k = 0; k < 3; ++k)
      n_[k] = static_cast<std::ptrdiff_t>((hi[k] - lo[k]) / cell_) + 1;
    head_.assign(static_cast<std::size_t>(n_[0] * n_[1] * n_[2]), -1);
  }

  std::size_t size() const { return points_.size(); }

  // Whether p lies closer than the spacing to a point added at position `from` or later.
  bool near(const Vec3f &p, std::size_t from = 0) const {
    if (!(spacing_.value() > 0))
      return false;
    std::ptrdiff_t c[3];
    if (head_.empty() || !cellOf(p, c)) {
      for (std::size_t j = from; j < points_.size(); ++j)
        if (spacing_.closer(p, points_[j]))
          return true;
      return false;
    }
    for (std::int32_t e = head_[index(c[0], c[1], c[2])]; e >= 0; e = entries_[e].next)
      if (static_cast<std::size_t>(entries_[e].point) >= from &&
          spacing_.closer(p, points_[static_cast<std::size_t>(entries_[e].point)]))
        return true;
    return false;
  }

  void add(const Vec3f &p) {
    const auto id = static_cast<std::int32_t>(points_.size());
    points_.push_back(p);
    std::ptrdiff_t c[3];
    // A point with a coordinate that is not finite is closer to nothing: it needs no cell.
    if (head_.empty() || !cellOf(p, c))
      return;
    for (std::ptrdiff_t z = std::max<std::ptrdiff_t>(c[2] - 1, 0);
         z <= std::min(c[2] + 1, n_[2] - 1); ++z)
      for (std::ptrdiff_t y = std::max<std::ptrdiff_t>(c[1] - 1, 0);
           y <= std::min(c[1] + 1, n_[1] - 1); ++y)
        for (std::ptrdiff_t x = std::max<std::ptrdiff_t>(c[0] - 1, 0);
             x <= std::min(c[0] + 1, n_[0] - 1); ++x) {
          std::int32_t &h = head_[index(x, y, z)];
          entries_.push_back({h, id});
          h = static_cast<std::int32_t>(entries_.size() - 1);
        }
  }

private:
  struct Entry {
    std::int32_t next, point;
  };

  bool cellOf(const Vec3f &p, std::ptrdiff_t c[3]) const {
    for (int k = 0; k < 3; ++k) {
      const double t = std::floor((static_cast<double>(p[k]) - lo_[k]) / cell_);
      if (!(t >= 0 && t < static_cast<double>(n_[k])))
        return false;
      c[k] = static_cast<std::ptrdiff_t>(t);
    }
    return true;
  }
  std::size_t index(std::ptrdiff_t x, std::ptrdiff_t y, std::ptrdiff_t z) const {
    return static_cast<std::size_t>((z * n_[1] + y) * n_[0] + x);
  }

  Spacing spacing_;
  Vec3d lo_;
  double cell_ = 0;
  std::ptrdiff_t n_[3] = {0, 0, 0};
  std::vector<std::int32_t> head_; // first entry of each cell, -1 for none
  std::vector<Entry> entries_;
  std::vector<Vec3f> points_;
};

} // namespace

std::vector<std::int32_t> worstPoints(const Vec3f *points, const float *deviations,
                                      std::size_t count, const WorstPointsRequest &request) {
  std::vector<std::int32_t> chosen;
  if (request.count <= 0 || count == 0 || !points || !deviations)
    return chosen;
  const auto wanted = static_cast<std::size_t>(request.count);
  count = std::min<std::size_t>(count, 0x7FFFFFFF);
  // Outside as the colours judge it; a deviation that is not finite is no measurement.
  const ColourScale scale(static_cast<float>(request.upper), static_cast<float>(request.lower), 1,
                          0, request.gradient, false);
  const auto outside = [&](float d) {
    const ToleranceStatus s = scale.verdict(d).status;
    return std::isfinite(d) && (s == ToleranceStatus::Above || s == ToleranceStatus::Below);
  };

  // Outside points grouped by bucket, largest deviations first (a counting sort in two passes).
  std::vector<std::size_t> start(kBuckets + 1, 0);
  for (std::size_t i = 0; i < count; ++i)
    if (outside(deviations[i]))
      ++start[kBuckets - 1 - (absBits(deviations[i]) >> kBucketShift)];
  std::size_t total = 0;
  for (std::size_t b = 0; b <= kBuckets; ++b)
    total += std::exchange(start[b], total);
  std::vector<Key> candidates(total);
  Vec3d lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  {
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < count; ++i)
      if (outside(deviations[i])) {
        const std::uint32_t bits = absBits(deviations[i]);
        candidates[next[kBuckets - 1 - (bits >> kBucketShift)]++] =
            keyOf(bits, static_cast<std::uint32_t>(i));
        const Vec3f &p = points[i];
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z))
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], static_cast<double>(p[k]));
            hi[k] = std::max(hi[k], static_cast<double>(p[k]));
          }
      }
  }
  // A spacing that is not a number keeps nothing apart, like 0.
  ChosenPoints kept(lo, hi, request.spacing);

  // Slices of whole buckets, each about four times the one before: a slice is thinned against
  // everything chosen from earlier slices, then ordered, so points that can no longer be chosen
  // are never sorted.
  std::size_t sliceSize = std::max<std::size_t>(1024, 8 * wanted);
  std::size_t bucket = 0;
  while (chosen.size() < wanted && bucket < kBuckets) {
    const std::size_t first = start[bucket];
    while (bucket < kBuckets && start[bucket + 1] - first < sliceSize)
      ++bucket;
    bucket = std::min(bucket + 1, kBuckets);
    const auto begin = candidates.begin() + static_cast<std::ptrdiff_t>(first);
    auto end = candidates.begin() + static_cast<std::ptrdiff_t>(start[bucket]);
    end = std::remove_if(begin, end, [&](Key k) { return kept.near(points[indexOf(k)]); });
    std::sort(begin, end, std::greater<Key>());

    // The slice is clear of the earlier points; only those chosen within it remain to check.
    const std::size_t sliceStart = kept.size();
    for (auto it = begin; it != end; ++it) {
      const std::uint32_t i = indexOf(*it);
      if (kept.near(points[i], sliceStart))
        continue;
      chosen.push_back(static_cast<std::int32_t>(i));
      kept.add(points[i]);
      if (chosen.size() == wanted)
        break;
    }
    sliceSize *= 4;
  }
  return chosen;
}

std::vector<std::int32_t> worstPoints(const SessionModel &model,
                                      const WorstPointsRequest &request) {
  const std::size_t n = std::min({static_cast<std::size_t>(std::max(model.pointCount, 0)),
                                  model.points.size(), model.deviations.size()});
  return worstPoints(model.points.data(), model.deviations.data(), n, request);
}

double defaultWorstPointSpacing(const BoundingBox &box) {
  const Vec3d d = box.max() - box.min();
  return 0.02 * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}
