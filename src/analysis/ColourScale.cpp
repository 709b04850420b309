#include "analysis/ColourScale.h"

#include <algorithm>
#include <cmath>

namespace {
float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
Colour rgb(float r, float g, float b) { return {clamp01(r), clamp01(g), clamp01(b)}; }
constexpr Colour kWhite{1, 1, 1};
constexpr Colour kBelowExtended{0.4, 0, 0.8};
constexpr Colour kAboveExtended{0.6, 0, 0.3};
} // namespace

Colour rainbow(float t) {
  // Every intermediate is held as float before clamping, as the colours always were.
  if (std::fabs(t) < 1e-10f)
    return rgb(0, 1, 0);
  if (t > 0.5f && t <= 1.0f)
    return rgb(1, static_cast<float>(2.0f - 2.0f * t), 0);
  if (t > 0.0f && t <= 0.5f)
    return rgb(static_cast<float>(2.0f * t), 1, 0);
  if (t >= -1.0f && t < -0.5f)
    return rgb(0, static_cast<float>(2.0f * t + 2.0f), 1);
  if (t >= -0.5f && t < 0.0f)
    return rgb(0, 1, static_cast<float>(2.0f * std::fabs(t)));
  return {0, 0, 0};
}

ColourScale::ColourScale(float upper, float lower, int bandCount, int layout, bool gradient,
                         bool extended)
    : bandCount_(bandCount), upper_(upper), lower_(lower), layout_(layout), gradient_(gradient),
      extended_(extended) {
  if (gradient) {
    const ColourScale bars(upper, lower, bandCount, 0, false, extended);
    legendEntries_ = bars.bands_;
    ordered_ = bars.ordered_;
    guessBase_ = bars.guessBase_;
    guessScale_ = bars.guessScale_;
    return;
  }
  const bool outside = isOutsideLayout(layout);
  int n = std::clamp(bandCount, outside ? 3 : 1, kMaxBands);
  const float range = std::fabs(upper - lower);
  if (outside) {
    bandCount_ = n;
    const float step = range / static_cast<float>(n - 2);
    const float q = 2.0f / static_cast<float>(n - 2);
    bands_.resize(static_cast<std::size_t>(n));
    bands_[0] = {lower, -9999.0f, {0, 0, 1}};
    for (int i = 1; i <= n - 2; ++i) {
      ColourBand &b = bands_[static_cast<std::size_t>(i)];
      b.lower = bands_[static_cast<std::size_t>(i - 1)].upper;
      b.upper = b.lower + step;
      b.colour = rainbow(static_cast<float>(i - 1) * q + q / 2.0f - 1.0f);
    }
    // The summed float steps can end an ulp or two off the upper tolerance: short of it, values
    // just inside would match no band and show white; past it, values just outside would keep
    // an inner colour. The inner slices end exactly where the top band starts.
    if (upper >= lower)
      bands_[static_cast<std::size_t>(n - 2)].upper = upper;
    bands_[static_cast<std::size_t>(n - 1)] = {9999.0f, upper, {1, 0, 0}};
  } else {
    bandCount_ = n + 2;
    const float step = range / static_cast<float>(n);
    const float q = 2.0f / static_cast<float>(n);
    bands_.resize(static_cast<std::size_t>(n + 2));
    bands_[0] = {lower, -9999.0f, extended ? kBelowExtended : kWhite};
    bands_[1] = {lower + step, lower, {0, 0, 1}};
    for (int i = 2; i <= n - 1; ++i) {
      ColourBand &b = bands_[static_cast<std::size_t>(i)];
      b.lower = bands_[static_cast<std::size_t>(i - 1)].upper;
      b.upper = b.lower + step;
      b.colour = rainbow(static_cast<float>(i - 1) * q + q / 2.0f - 1.0f);
    }
    if (n >= 2) {
      bands_[static_cast<std::size_t>(n)] = {
          upper, bands_[static_cast<std::size_t>(n - 1)].upper, {1, 0, 0}};
    } else {
      // A single band is both the first and the last: red, and it ends at the upper tolerance
      // (lower + step can miss it by an ulp, leaving a white sliver inside the band).
      bands_[1].colour = {1, 0, 0};
      if (upper >= lower)
        bands_[1].upper = upper;
    }
    bands_[static_cast<std::size_t>(n + 1)] = {9999.0f, upper, extended ? kAboveExtended : kWhite};
  }
  ordered_ = bands_.front().lower <= bands_.front().upper;
  for (std::size_t i = 1; i < bands_.size(); ++i)
    ordered_ =
        ordered_ && bands_[i].lower == bands_[i - 1].upper && bands_[i].lower <= bands_[i].upper;
  // The inner entries run from the end of the first to the start of the last.
  const std::size_t inner = bands_.size() - 2;
  const float span = bands_.back().lower - bands_.front().upper;
  if (inner > 0 && span > 0.0f && std::isfinite(static_cast<float>(inner) / span))
    guessScale_ = static_cast<float>(inner) / span;
  guessBase_ = bands_.front().upper;
}

float ColourScale::gradientPosition(float v) const {
  if (v > 0.0f)
    return upper_ < 1e-10f ? 1.0f : v / upper_;
  return std::fabs(lower_) < 1e-10f ? -1.0f : v / std::fabs(lower_);
}

int ColourScale::firstHolding(const std::vector<ColourBand> &table, bool ordered, int from, int to,
                              float v) const {
  if (ordered) {
    // The answer is the first entry that does not end below v: all before it end below v,
    // and it starts where its predecessor ends. The inner entries are equal slices, so start
    // at the slice v falls in and step to that entry (rounding is off by a step at most).
    const float g = (v - guessBase_) * guessScale_;
    int i = from;
    if (g >= 0.0f)
      i = g < static_cast<float>(to - from) ? std::max(from, 1 + static_cast<int>(g)) : to - 1;
    i = std::min(i, to - 1);
    while (i > from && !(table[static_cast<std::size_t>(i - 1)].upper < v))
      --i;
    while (i < to && table[static_cast<std::size_t>(i)].upper < v)
      ++i;
    if (i < to && table[static_cast<std::size_t>(i)].lower <= v &&
        v <= table[static_cast<std::size_t>(i)].upper)
      return i;
    return -1;
  }
  for (int i = from; i < to; ++i) {
    const ColourBand &b = table[static_cast<std::size_t>(i)];
    if (b.lower <= v && v <= b.upper)
      return i;
  }
  return -1;
}

PointVerdict ColourScale::verdictAt(float v, float &t) const {
  t = 0.0f;
  const std::vector<ColourBand> &table = entries();
  const int last = static_cast<int>(table.size()) - 1;
  if (gradient_) {
    t = gradientPosition(v);
    // Not a number has no status, whatever colour its position gives it.
    if (std::isnan(v) || std::isnan(t))
      return {};
    if (t < -1.0f)
      return {0, ToleranceStatus::Below, false};
    if (t > 1.0f)
      return {last, ToleranceStatus::Above, false};
    // Inside the band the colour blends along the bars; the bar holding v counts it. With a
    // tolerance near zero a whole side maps to its end colour: the end bar then holds it.
    int i = firstHolding(legendEntries_, ordered_, 1, last, v);
    if (i < 0)
      i = t > 0.0f ? last - 1 : 1;
    return {i, ToleranceStatus::In, false};
  }
  if (std::isnan(v))
    return {};
  const int i = firstHolding(bands_, ordered_, 0, last + 1, v);
  if (i == 0)
    return {0, ToleranceStatus::Below, false};
  if (i == last)
    return {last, ToleranceStatus::Above, false};
  if (i > 0)
    return {i, ToleranceStatus::In, false};
  // Only values past the fixed outer limits fall through the table (its entries cover
  // -9999..9999 without gaps): white, but still above or below, and counted on their side so
  // that the entries' counts add up to all values.
  if (v > 0.0f)
    return {last, ToleranceStatus::Above, true};
  return {0, ToleranceStatus::Below, true};
}

PointVerdict ColourScale::verdict(float v) const {
  float t;
  return verdictAt(v, t);
}

Colour ColourScale::colourFor(float v) const {
  float t;
  const PointVerdict p = verdictAt(v, t);
  if (gradient_) {
    if (p.status == ToleranceStatus::Above)
      return extended_ ? kAboveExtended : kWhite;
    if (p.status == ToleranceStatus::Below)
      return extended_ ? kBelowExtended : kWhite;
    return t == 0.0f ? Colour{0, 1, 0} : rainbow(t);
  }
  return p.entry >= 0 && !p.beyond ? bands_[static_cast<std::size_t>(p.entry)].colour : kWhite;
}

ToleranceStatus toleranceStatus(float deviation, double lower, double upper, bool gradient) {
  return ColourScale(static_cast<float>(upper), static_cast<float>(lower), 1, 0, gradient, false)
      .verdict(deviation)
      .status;
}

Colour ColourScale::bandColour(int index) const {
  if (index < 0 || index >= static_cast<int>(bands_.size()))
    return kWhite;
  return bands_[static_cast<std::size_t>(index)].colour;
}
