#include "analysis/DeviationStats.h"

#include <cmath>

DeviationStats DeviationStats::compute(const float *values, std::size_t n, double lower,
                                       double upper) {
  DeviationStats s;
  s.count = n;
  std::size_t inside = 0;
  // Welford's update: one pass without the cancellation of sum-of-squares.
  double mean = 0, m2 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = values[i];
    if (d >= lower && d <= upper)
      ++inside;
    if (!std::isfinite(d))
      continue;
    if (s.finite == 0) {
      s.min = s.max = d;
    } else {
      if (d < s.min)
        s.min = d;
      if (d > s.max)
        s.max = d;
    }
    ++s.finite;
    const double delta = d - mean;
    mean += delta / static_cast<double>(s.finite);
    m2 += delta * (d - mean);
  }
  if (s.finite > 0) {
    s.mean = mean;
    s.stddev = std::sqrt(m2 / static_cast<double>(s.finite));
  }
  s.inside = n > 0 ? static_cast<double>(inside) / static_cast<double>(n) : 0.0;
  return s;
}
