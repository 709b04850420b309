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

// The colour of a deviation as the bytes every mesh path draws (red, green, blue, 255): a byte
// colour array holds a quarter of what float triples hold, and each path reaches the same
// value, so lit pixels agree between the paths.
inline void colourBytesInto(std::uint8_t *out, const ColourScale &scale, float deviation) {
  const Colour c = scale.colourFor(deviation);
  out[0] = colourByte(c.r);
  out[1] = colourByte(c.g);
  out[2] = colourByte(c.b);
  out[3] = 255;
}

// A colour byte as the float a byte colour array hands on to lighting (the software
// rasterizer scales by the reciprocal; u / 255 would differ by an ulp for half the bytes).
inline float byteColourValue(std::uint8_t b) { return float(b) * (1.0f / 255.0f); }

// The same colour as three floats, for arrays that interleave it with floats.
inline void colourInto(float *out, const ColourScale &scale, float deviation) {
  std::uint8_t b[4];
  colourBytesInto(b, scale, deviation);
  for (int k = 0; k < 3; ++k)
    out[k] = byteColourValue(b[k]);
}
