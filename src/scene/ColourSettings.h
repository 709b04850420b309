#pragma once
#include "analysis/ColourScale.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// The settings the deviation colours of a model depend on: stored arrays of colours are
// valid while these are unchanged.
struct ColourSettings {
  float upper = 0, lower = 0;
  int bands = 15, layout = 0;
  bool gradient = false, extended = false;

  ColourScale scale() const { return ColourScale(upper, lower, bands, layout, gradient, extended); }
  friend bool operator==(const ColourSettings &, const ColourSettings &) = default;
};

// A colour channel in [0, 1] as a byte: clamped, then rounded to the nearest step.
inline std::uint8_t colourByte(double c) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
}

// The colour of a deviation as three floats: the value glColor3d hands on, so lit pixels of
// colour arrays match a mesh issued corner by corner exactly.
inline void colourInto(float *out, const ColourScale &scale, float deviation) {
  const Colour c = scale.colourFor(deviation);
  out[0] = float(c.r);
  out[1] = float(c.g);
  out[2] = float(c.b);
}
