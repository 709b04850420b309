#pragma once
#include "analysis/ColourScale.h"

// The settings the deviation colours of a model depend on: stored arrays of colours are
// valid while these are unchanged.
struct ColourSettings {
  float upper = 0, lower = 0;
  int bands = 15, layout = 0;
  bool gradient = false, extended = false;

  ColourScale scale() const { return ColourScale(upper, lower, bands, layout, gradient, extended); }
  friend bool operator==(const ColourSettings &, const ColourSettings &) = default;
};
