#pragma once
#include <cstddef>

// Summary of a model's deviations against a tolerance band, computed in one pass in double
// precision. Values that are not finite count as points but not as measurements.
struct DeviationStats {
  std::size_t count = 0;  // all values seen
  std::size_t finite = 0; // values that enter min, max, mean and stddev
  double min = 0, max = 0, mean = 0;
  double stddev = 0; // population standard deviation (divides by the count)
  // Fraction of all values with lower <= d <= upper; 0 for no values.
  double inside = 0;

  bool hasValues() const { return finite > 0; }

  static DeviationStats compute(const float *values, std::size_t n, double lower, double upper);
};
