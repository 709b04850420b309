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
