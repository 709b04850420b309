#pragma once
#include "analysis/DisplaySettings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// The part of display settings that stored arrays of colours depend on: they stay valid while
// it is unchanged. Everything else is left at its default, so that it never forces a rebuild.
inline DisplaySettings colourPart(const DisplaySettings &d) {
  DisplaySettings c;
  c.upperTolerance = d.upperTolerance;
  c.lowerTolerance = d.lowerTolerance;
  c.colourBars = d.colourBars;
  c.pointFilter = d.pointFilter;
  c.gradient = d.gradient;
  c.extendedColours = d.extendedColours;
  return c;
}

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
