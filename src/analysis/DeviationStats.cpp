#include "analysis/DeviationStats.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

double share(std::size_t part, std::size_t whole) {
  return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

// Per-entry tallies under a colour scale, each value in the entry of its verdict.
class BandTally {
public:
  explicit BandTally(const ColourScale &scale)
      : scale_(scale), counts_(scale.entries().size(), 0) {}

  void add(const PointVerdict &p) {
    if (p.entry >= 0)
      ++counts_[static_cast<std::size_t>(p.entry)];
    if (p.beyond)
      ++beyond_;
  }

  std::size_t beyond() const { return beyond_; }

  std::vector<BandCount> result(std::size_t measured) const {
    const std::vector<ColourBand> &entries = scale_.entries();
    std::vector<BandCount> out(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
      out[i] = {entries[i].lower, entries[i].upper, entries[i].colour, counts_[i],
                share(counts_[i], measured)};
    return out;
  }

private:
  const ColourScale &scale_;
  std::vector<std::size_t> counts_;
  std::size_t beyond_ = 0;
};

// Puts the elements of the given 0-based ranks (ascending, within [lo, hi)) in their sorted
// places. Splitting at the middle rank lets the outer ranks search only their own side.
void selectRanks(std::vector<float> &v, std::size_t lo, std::size_t hi, const std::size_t *ranks,
                 std::size_t count) {
  if (count == 0)
    return;
  const std::size_t mid = count / 2, k = ranks[mid];
  std::nth_element(v.begin() + static_cast<std::ptrdiff_t>(lo),
                   v.begin() + static_cast<std::ptrdiff_t>(k),
                   v.begin() + static_cast<std::ptrdiff_t>(hi));
  std::size_t left = mid;
  while (left > 0 && ranks[left - 1] == k)
    --left;
  std::size_t right = mid + 1;
  while (right < count && ranks[right] == k)
    ++right;
  selectRanks(v, lo, k, ranks, left);
  selectRanks(v, k + 1, hi, ranks + right, count - right);
}

} // namespace

std::vector<BandCount> DeviationStats::countBands(const float *values, std::size_t n,
                                                  const ColourScale &scale) {
  BandTally tally(scale);
  std::size_t measured = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (std::isfinite(values[i])) {
      ++measured;
      tally.add(scale.verdict(values[i]));
    }
  return tally.result(measured);
}

DeviationStats DeviationStats::compute(const float *values, std::size_t n, double lower,
                                       double upper, const ColourScale *scale) {
  DeviationStats s;
  s.count = n;
  std::vector<float> measured;
  measured.reserve(n);
  std::optional<BandTally> tally;
  if (scale)
    tally.emplace(*scale);
  // Without a scale, the band colours for these tolerances judge (their status does not
  // depend on the band count or layout).
  const ColourScale bands(static_cast<float>(upper), static_cast<float>(lower), 1, 0, false, false);
  const ColourScale &judge = scale ? *scale : bands;
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const float f = values[i];
    if (!std::isfinite(f))
      continue;
    const double d = f;
    if (measured.empty()) {
      s.min = s.max = d;
    } else {
      s.min = std::min(s.min, d);
      s.max = std::max(s.max, d);
    }
    measured.push_back(f);
    sum += d;
    // The verdict that colours the value also places it, so the counts, the histogram, the
    // picture and the callout status agree on the band's edges.
    const PointVerdict verdict = judge.verdict(f);
    switch (verdict.status) {
    case ToleranceStatus::In:
      ++s.countInside;
      break;
    case ToleranceStatus::Above:
      ++s.countAbove;
      break;
    default:
      ++s.countBelow;
      break;
    }
    if (tally)
      tally->add(verdict);
  }
  s.finite = measured.size();
  if (tally) {
    s.bands = tally->result(s.finite);
    s.beyond = tally->beyond();
  }
  s.inside = share(s.countInside, s.finite);
  s.above = share(s.countAbove, s.finite);
  s.below = share(s.countBelow, s.finite);
  if (s.finite == 0)
    return s;

  // Spread about the mean from the compact copy (two passes are exact where a one-pass sum
  // of squares would cancel); the correction term absorbs the mean's own rounding.
  const double count = static_cast<double>(s.finite);
  s.mean = sum / count;
  double dev = 0, dev2 = 0, squares = 0;
  for (const float f : measured) {
    const double d = f;
    dev += d - s.mean;
    dev2 += (d - s.mean) * (d - s.mean);
    squares += d * d;
  }
  s.stddev = std::sqrt(std::max(0.0, (dev2 - dev * dev / count) / count));
  s.rms = std::sqrt(squares / count);

  const std::array<unsigned, 5> percents{1, 5, 50, 95, 99};
  std::array<std::size_t, 5> ranks{};
  for (std::size_t i = 0; i < percents.size(); ++i)
    ranks[i] = nearestRank(percents[i], s.finite) - 1;
  std::array<std::size_t, 5> sorted = ranks;
  std::sort(sorted.begin(), sorted.end());
  selectRanks(measured, 0, measured.size(), sorted.data(), sorted.size());
  s.p01 = measured[ranks[0]];
  s.p05 = measured[ranks[1]];
  s.median = measured[ranks[2]];
  s.p95 = measured[ranks[3]];
  s.p99 = measured[ranks[4]];
  return s;
}
