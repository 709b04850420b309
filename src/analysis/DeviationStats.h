#pragma once
#include "analysis/ColourScale.h"

#include <cstddef>
#include <vector>

// How many measured values one colour entry (a band, or a legend bar with the gradient) holds.
struct BandCount {
  float lower = 0, upper = 0; // the entry's bounds
  Colour colour;              // its colour in the table
  std::size_t count = 0;
  double fraction = 0; // of all measured values; 0 when there are none
};

// Summary of a model's deviations against a tolerance band. A value that is not finite is
// no measurement: it counts in `count` only and enters no statistic, count or fraction
// (its point has no usable deviation); `finite` is the number of measurements.
// One pass gathers the moments, tolerance and band counts; the percentiles are exact
// (selection on a copy), by the nearest-rank rule.
struct DeviationStats {
  std::size_t count = 0;  // all values seen
  std::size_t finite = 0; // measurements: the population of everything below
  double min = 0, max = 0, mean = 0;
  double stddev = 0; // population standard deviation (divides by the count)
  double rms = 0;    // root of the mean square
  // Nearest rank: the value at 1-based rank ceil(p/100 x finite) in ascending order.
  double median = 0, p01 = 0, p05 = 0, p95 = 0, p99 = 0;
  // Inside, above or below as the colour scale's verdict has it (ColourScale::verdict;
  // without a scale, the band colours' verdict for lower and upper): with the bands a
  // measurement is inside when lower < d <= upper, with the gradient when lower <= d <= upper.
  // The three counts always add up to `finite`.
  std::size_t countInside = 0, countAbove = 0, countBelow = 0;
  double inside = 0, above = 0, below = 0; // fractions of `finite`; 0 without measurements
  // Per entry of the colour scale's entries(), lowest first; empty without a scale. Each
  // value counts in the entry of its verdict, so the counts add up to `finite`; the first
  // entry's count is `countBelow` and the last one's `countAbove`.
  std::vector<BandCount> bands;
  // Measurements past the fixed outer limits (no band's colour, drawn white), counted in the
  // outermost entries.
  std::size_t beyond = 0;

  bool hasValues() const { return finite > 0; }

  // With a scale, lower and upper must be its tolerances: the scale judges every value.
  static DeviationStats compute(const float *values, std::size_t n, double lower, double upper,
                                const ColourScale *scale = nullptr);

  // The per-entry counts alone (no copy, no selection): for the legend's percentages.
  static std::vector<BandCount> countBands(const float *values, std::size_t n,
                                           const ColourScale &scale);

  // 1-based rank of the p-th percentile (0 < p <= 100) among n values: ceil(p n / 100),
  // in integers so that an exact product never rounds up a rank.
  static std::size_t nearestRank(unsigned p, std::size_t n) {
    return (static_cast<std::size_t>(p) * n + 99) / 100;
  }
};
