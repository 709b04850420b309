#include "analysis/WorstPoints.h"

#include "analysis/ToleranceStatus.h"
#include "session/SessionModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>

namespace {

// One candidate as a single sortable word: |deviation| (a non-negative float, whose bits
// order like its value) above the complemented index, so that the larger key is the larger
// deviation and, between equal deviations, the lower index.
using Key = std::uint64_t;

Key keyOf(float absDeviation, std::uint32_t index) {
  return (static_cast<Key>(std::bit_cast<std::uint32_t>(absDeviation)) << 32) |
         static_cast<Key>(0xFFFFFFFFu - index);
}
std::uint32_t indexOf(Key k) { return 0xFFFFFFFFu - static_cast<std::uint32_t>(k); }

bool closer(const Vec3f &a, const Vec3f &b, double spacing) {
  const double dx = static_cast<double>(a.x) - static_cast<double>(b.x);
  const double dy = static_cast<double>(a.y) - static_cast<double>(b.y);
  const double dz = static_cast<double>(a.z) - static_cast<double>(b.z);
  return std::sqrt(dx * dx + dy * dy + dz * dz) < spacing;
}

} // namespace

std::vector<std::int32_t> worstPoints(const Vec3f *points, const float *deviations,
                                      std::size_t count, const WorstPointsRequest &request) {
  std::vector<std::int32_t> chosen;
  if (request.count <= 0 || count == 0 || !points || !deviations)
    return chosen;
  const auto wanted = static_cast<std::size_t>(request.count);
  // A spacing that is not a number keeps nothing apart, like 0.
  const double spacing = request.spacing > 0 ? request.spacing : 0.0;
  count = std::min<std::size_t>(count, 0x7FFFFFFF);

  // Candidates stay in index order, so the thinning passes read the points front to back.
  std::vector<Key> candidates;
  for (std::size_t i = 0; i < count; ++i)
    if (isOutsideTolerance(deviations[i], request.lower, request.upper))
      candidates.push_back(keyOf(std::fabs(deviations[i]), static_cast<std::uint32_t>(i)));

  std::vector<Key> batch;
  std::vector<Vec3f> chosenPoints;
  std::size_t batchSize = std::max<std::size_t>(1024, 8 * wanted);
  Key taken = ~Key{0}; // every key at or above this has been in a batch already
  std::size_t thinnedAgainst = 0;
  while (chosen.size() < wanted && !candidates.empty()) {
    // Drop what earlier batches looked at and what lies too close to points chosen since the
    // last pass: neither can be chosen any more.
    if (thinnedAgainst < chosenPoints.size() || taken != ~Key{0}) {
      const Vec3f *recent = chosenPoints.data() + thinnedAgainst;
      const std::size_t recentCount = chosenPoints.size() - thinnedAgainst;
      std::erase_if(candidates, [&](Key k) {
        if (k >= taken)
          return true;
        const Vec3f &p = points[indexOf(k)];
        for (std::size_t j = 0; j < recentCount; ++j)
          if (closer(p, recent[j], spacing))
            return true;
        return false;
      });
      thinnedAgainst = chosenPoints.size();
      if (candidates.empty())
        break;
    }
    // The next batch: the largest remaining keys, in descending order.
    const std::size_t n = std::min(batchSize, candidates.size());
    batch.assign(candidates.begin(), candidates.end());
    std::nth_element(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(n - 1), batch.end(),
                     std::greater<Key>());
    batch.resize(n);
    std::sort(batch.begin(), batch.end(), std::greater<Key>());
    taken = batch.back();

    // Batch members were thinned against everything chosen before this batch; only the
    // points chosen within it remain to be checked.
    const std::size_t batchStart = chosenPoints.size();
    for (Key k : batch) {
      const std::uint32_t i = indexOf(k);
      const Vec3f &p = points[i];
      bool free = true;
      for (std::size_t j = batchStart; j < chosenPoints.size() && free; ++j)
        free = !closer(p, chosenPoints[j], spacing);
      if (!free)
        continue;
      chosen.push_back(static_cast<std::int32_t>(i));
      chosenPoints.push_back(p);
      if (chosen.size() == wanted)
        break;
    }
    batchSize *= 4;
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
