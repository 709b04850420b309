#include "analysis/DisplaySettings.h"

namespace {
ColourScale scaleWith(const DisplaySettings &d, ScaleLayout layout) {
  return ColourScale(static_cast<float>(d.upperTolerance), static_cast<float>(d.lowerTolerance),
                     d.colourBars, code(layout), d.gradient, d.extendedColours);
}
} // namespace

ColourScale modelScale(const DisplaySettings &d) { return scaleWith(d, d.scaleLayout()); }

ColourScale legendScale(const DisplaySettings &d) { return scaleWith(d, ScaleLayout::Standard); }

ColourScale bannerScale(const DisplaySettings &d) {
  DisplaySettings banded = d;
  banded.gradient = false;
  return legendScale(banded);
}

DisplayMode displayModeOf(int c, DisplayMode fallback) {
  return c == 1 ? DisplayMode::Points : c == 4 ? DisplayMode::Triangles : fallback;
}

PointFilter pointFilterOf(int c, PointFilter fallback) {
  return c == 0 ? PointFilter::All : c == 2 ? PointFilter::OutsideOnly : fallback;
}

BannerLineColour bannerLineColourOf(int c, BannerLineColour fallback) {
  return c >= 0 && c <= 3 ? static_cast<BannerLineColour>(c) : fallback;
}

PointSize pointSizeOf(int c, PointSize fallback) {
  return c >= 0 && c <= 3 ? static_cast<PointSize>(c) : fallback;
}
