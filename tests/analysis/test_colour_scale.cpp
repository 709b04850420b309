#include "analysis/ColourScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace {

const Colour kWhite{1, 1, 1}, kBlack{0, 0, 0}, kRed{1, 0, 0}, kGreen{0, 1, 0}, kBlue{0, 0, 1},
    kYellow{1, 1, 0}, kCyan{0, 1, 1}, kAbove{0.6, 0, 0.3}, kBelow{0.4, 0, 0.8};

void expectColourNear(const Colour &c, double r, double g, double b) {
  EXPECT_NEAR(c.r, r, 1e-6);
  EXPECT_NEAR(c.g, g, 1e-6);
  EXPECT_NEAR(c.b, b, 1e-6);
}

// Bands must tile their range: each starts where the previous ends, so that no value between
// the outer limits falls through to white.
void expectContiguous(const ColourScale &s) {
  const auto &b = s.bands();
  ASSERT_EQ(static_cast<int>(b.size()), s.bandCount());
  EXPECT_EQ(b.front().lower, -9999.0f);
  EXPECT_EQ(b.back().upper, 9999.0f);
  for (std::size_t i = 1; i < b.size(); ++i)
    EXPECT_GE(b[i - 1].upper, b[i].lower) << "gap before band " << i;
}

} // namespace

TEST(Rainbow, KeyPointsBlendsAndBeyond) {
  EXPECT_EQ(rainbow(-1), kBlue);
  EXPECT_EQ(rainbow(-0.5f), kCyan);
  EXPECT_EQ(rainbow(0), kGreen);
  EXPECT_EQ(rainbow(0.5f), kYellow);
  EXPECT_EQ(rainbow(1), kRed);
  expectColourNear(rainbow(0.25f), 0.5, 1, 0);
  expectColourNear(rainbow(0.75f), 1, 0.5, 0);
  expectColourNear(rainbow(-0.25f), 0, 1, 0.5);
  expectColourNear(rainbow(-0.75f), 0, 0.5, 1);
  // Values this close to zero are plain green, not a trace of red.
  EXPECT_EQ(rainbow(1e-11f), kGreen);
  EXPECT_EQ(rainbow(-1e-11f), kGreen);
  EXPECT_EQ(rainbow(1.0001f), kBlack);
  EXPECT_EQ(rainbow(-1.0001f), kBlack);
  EXPECT_EQ(rainbow(std::numeric_limits<float>::infinity()), kBlack);
}

TEST(ColourScaleBands, OutsideLayoutFifteen) {
  for (int layout : {1, 2}) {
    const ColourScale s(0.25f, -0.25f, 15, layout, false, false);
    ASSERT_EQ(s.bandCount(), 15);
    const auto &b = s.bands();
    EXPECT_EQ(b[0].lower, -9999.0f);
    EXPECT_EQ(b[0].upper, -0.25f);
    EXPECT_EQ(b[0].colour, kBlue);
    EXPECT_EQ(b[14].lower, 0.25f);
    EXPECT_EQ(b[14].upper, 9999.0f);
    EXPECT_EQ(b[14].colour, kRed);
    for (int i = 1; i <= 13; ++i)
      EXPECT_NEAR(b[i].upper - b[i].lower, 0.5 / 13, 1e-6) << i;
    // Colours sampled at band centres on the -1..1 scale: 12/13 below the middle, the middle,
    // 12/13 above it.
    expectColourNear(b[1].colour, 0, 2.0 / 13, 1);
    expectColourNear(b[7].colour, 0, 1, 0);
    expectColourNear(b[13].colour, 1, 2.0 / 13, 0);
    // Exactly the lower tolerance takes entry 0.
    EXPECT_EQ(s.colourFor(-0.25f), kBlue);
    EXPECT_EQ(s.colourFor(0.0f), b[7].colour);
    EXPECT_EQ(s.colourFor(0.3f), kRed);
    EXPECT_EQ(s.colourFor(-0.3f), kBlue);
    // Extended colours do not apply to this layout.
    EXPECT_EQ(ColourScale(0.25f, -0.25f, 15, layout, false, true).colourFor(0.3f), kRed);
    expectContiguous(s);
  }
}

TEST(ColourScaleBands, StandardLayoutFifteen) {
  for (int layout : {0, 3, -1}) {
    const ColourScale s(0.25f, -0.25f, 15, layout, false, false);
    ASSERT_EQ(s.bandCount(), 17);
    const auto &b = s.bands();
    EXPECT_EQ(b[0].upper, -0.25f);
    EXPECT_EQ(b[0].colour, kWhite);
    EXPECT_EQ(b[1].lower, -0.25f);
    EXPECT_EQ(b[1].colour, kBlue);
    EXPECT_EQ(b[15].upper, 0.25f);
    EXPECT_EQ(b[15].colour, kRed);
    EXPECT_EQ(b[16].lower, 0.25f);
    EXPECT_EQ(b[16].colour, kWhite);
    for (int i = 1; i <= 14; ++i)
      EXPECT_NEAR(b[i].upper - b[i].lower, 0.5 / 15, 1e-6) << i;
    expectColourNear(b[2].colour, 0, 0.4, 1); // centre -0.8
    expectColourNear(b[8].colour, 0, 1, 0);   // centre 0
    expectColourNear(b[14].colour, 1, 0.4, 0);
    EXPECT_EQ(s.colourFor(0.3f), kWhite);
    EXPECT_EQ(s.colourFor(-0.3f), kWhite);
    // The tolerance itself still belongs to the coloured range.
    EXPECT_EQ(s.colourFor(-0.25f), kWhite); // shared with entry 0, which comes first
    EXPECT_EQ(s.colourFor(0.25f), kRed);
    expectContiguous(s);

    const ColourScale ext(0.25f, -0.25f, 15, layout, false, true);
    EXPECT_EQ(ext.colourFor(0.3f), kAbove);
    EXPECT_EQ(ext.colourFor(-0.3f), kBelow);
    EXPECT_EQ(ext.bandColour(0), kBelow);
    EXPECT_EQ(ext.bandColour(16), kAbove);
  }
}

TEST(ColourScaleBands, SharedBoundsTakeTheLowerNumberedBand) {
  for (int layout : {0, 2})
    for (int n : {3, 4, 7, 15, 40}) {
      const ColourScale s(0.3f, -0.2f, n, layout, false, true);
      const auto &b = s.bands();
      // Each bound is shared by two neighbours; the one below, earlier in the table, wins.
      for (std::size_t i = 0; i + 1 < b.size(); ++i)
        EXPECT_EQ(s.colourFor(b[i].upper), b[i].colour)
            << "layout " << layout << " n " << n << " band " << i;
    }
}

TEST(ColourScaleBands, NoValueInsideTheLimitsFallsThroughToWhite) {
  // Summing the band steps in float can end a little short of the upper tolerance; values in
  // that sliver must still take the top colours.
  for (float tol : {0.01f, 0.02f, 0.05f, 0.1f, 0.25f, 0.3f, 1.0f})
    for (int n = 3; n <= 60; ++n) {
      const ColourScale s(tol, -tol, n, 2, false, false);
      expectContiguous(s);
      const float below = std::nextafter(tol, 0.0f);
      EXPECT_NE(s.colourFor(below), kWhite) << "tol " << tol << " n " << n;
      EXPECT_EQ(s.colourFor(std::nextafter(tol, 10.0f)), kRed) << "tol " << tol << " n " << n;
    }
}

TEST(ColourScaleBands, BeyondTheOuterLimitsIsWhite) {
  for (int layout : {0, 1, 2})
    for (bool ext : {false, true}) {
      const ColourScale s(0.25f, -0.25f, 15, layout, false, ext);
      EXPECT_EQ(s.colourFor(10000.0f), kWhite);
      EXPECT_EQ(s.colourFor(-10000.0f), kWhite);
      EXPECT_EQ(s.colourFor(std::numeric_limits<float>::infinity()), kWhite);
      EXPECT_EQ(s.colourFor(std::numeric_limits<float>::quiet_NaN()), kWhite);
      // The limits themselves still belong to the outer bands.
      EXPECT_EQ(s.colourFor(9999.0f), s.bandColour(s.bandCount() - 1));
      EXPECT_EQ(s.colourFor(-9999.0f), s.bandColour(0));
    }
}

TEST(ColourScaleBands, BandCountsAreClampedToTheLayout) {
  // Too few bands would divide by zero or index before the table; too many are capped.
  for (int n : {-5, 0, 1, 2, 3}) {
    const ColourScale out(0.25f, -0.25f, n, 1, false, false);
    EXPECT_EQ(out.bandCount(), 3) << n;
    expectContiguous(out);
    EXPECT_EQ(out.colourFor(0.0f), kGreen);
  }
  for (int n : {-5, 0, 1}) {
    const ColourScale std0(0.25f, -0.25f, n, 0, false, false);
    EXPECT_EQ(std0.bandCount(), 3) << n;
    expectContiguous(std0);
    // A single inner band is both the first and the last: it ends up red.
    EXPECT_EQ(std0.colourFor(0.0f), kRed);
    EXPECT_EQ(std0.colourFor(-0.3f), kWhite);
  }
  const ColourScale two(0.25f, -0.25f, 2, 0, false, false);
  ASSERT_EQ(two.bandCount(), 4);
  EXPECT_EQ(two.colourFor(-0.1f), kBlue);
  EXPECT_EQ(two.colourFor(0.1f), kRed);

  const ColourScale many(0.25f, -0.25f, 5000, 2, false, false);
  EXPECT_EQ(many.bandCount(), ColourScale::kMaxBands);
  expectContiguous(many);
  const ColourScale manyStd(0.25f, -0.25f, 1000000, 0, false, false);
  EXPECT_EQ(manyStd.bandCount(), ColourScale::kMaxBands + 2);
  EXPECT_EQ(manyStd.bandColour(-1), kWhite);
  EXPECT_EQ(manyStd.bandColour(ColourScale::kMaxBands + 2), kWhite);
}

TEST(ColourScaleGradient, ExamplesAndOutOfRange) {
  const ColourScale g(0.25f, -0.25f, 15, 0, true, false);
  EXPECT_TRUE(g.bands().empty());
  EXPECT_EQ(g.bandColour(0), kWhite);
  EXPECT_EQ(g.colourFor(0.0f), kGreen);
  EXPECT_EQ(g.colourFor(0.125f), kYellow);
  expectColourNear(g.colourFor(0.0625f), 0.5, 1, 0);
  EXPECT_EQ(g.colourFor(0.25f), kRed);
  EXPECT_EQ(g.colourFor(-0.25f), kBlue);
  expectColourNear(g.colourFor(-0.125f), 0, 1, 1);
  EXPECT_EQ(g.colourFor(0.3f), kWhite);
  EXPECT_EQ(g.colourFor(-0.3f), kWhite);
  const ColourScale ge(0.25f, -0.25f, 15, 0, true, true);
  EXPECT_EQ(ge.colourFor(0.3f), kAbove);
  EXPECT_EQ(ge.colourFor(-0.3f), kBelow);
  EXPECT_EQ(ge.colourFor(0.25f), kRed);
  // Asymmetric tolerances scale each side by its own tolerance.
  const ColourScale asym(0.5f, -0.1f, 15, 0, true, false);
  EXPECT_EQ(asym.colourFor(0.25f), kYellow);
  EXPECT_EQ(asym.colourFor(-0.05f), kCyan);
}

TEST(ColourScaleGradient, ZeroTolerancesDoNotDivideByZero) {
  const ColourScale zero(0.0f, 0.0f, 15, 0, true, false);
  // Every positive value is red, every non-positive one blue, before the out-of-range rules.
  EXPECT_EQ(zero.colourFor(0.001f), kRed);
  EXPECT_EQ(zero.colourFor(1000.0f), kRed);
  EXPECT_EQ(zero.colourFor(0.0f), kBlue);
  EXPECT_EQ(zero.colourFor(-5.0f), kBlue);
  const ColourScale upperOnly(0.0f, -0.5f, 15, 0, true, true);
  EXPECT_EQ(upperOnly.colourFor(0.2f), kRed);
  EXPECT_EQ(upperOnly.colourFor(0.0f), kGreen);
  EXPECT_EQ(upperOnly.colourFor(-0.25f), kCyan);
  const ColourScale tiny(1e-11f, -1e-11f, 15, 0, true, false);
  EXPECT_EQ(tiny.colourFor(1e-12f), kRed);
  EXPECT_EQ(tiny.colourFor(-1e-12f), kBlue);
}

namespace {
// The colour a verdict stands for, from the verdict alone: the entry's colour in the bands
// (white past the outer limits), the out-of-range colours or a blend with the gradient.
void expectColourFollowsVerdict(const ColourScale &s, float v, const PointVerdict &p) {
  const Colour c = s.colourFor(v);
  if (!s.gradient()) {
    EXPECT_EQ(c, p.beyond || p.entry < 0 ? kWhite : s.bands()[std::size_t(p.entry)].colour) << v;
    return;
  }
  const bool ext = s.extended();
  if (p.status == ToleranceStatus::Above) {
    EXPECT_EQ(c, ext ? kAbove : kWhite) << v;
  } else if (p.status == ToleranceStatus::Below) {
    EXPECT_EQ(c, ext ? kBelow : kWhite) << v;
  } else if (p.status == ToleranceStatus::In) {
    EXPECT_TRUE(c != kWhite && c != kAbove && c != kBelow) << v;
  }
}
} // namespace

TEST(ColourScaleVerdict, ColourStatusAndEntryAgreeOnEveryLimit) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const auto &[upper, lower] : {std::pair{0.25f, -0.25f}, std::pair{0.3f, -0.1f},
                                     std::pair{0.1f, -0.3f}, std::pair{0.05f, 0.0f}})
    for (int layout : {0, 2})
      for (int bars : {1, 3, 15, 50})
        for (bool gradient : {false, true})
          for (bool ext : {false, true}) {
            if (gradient && layout != 0)
              continue;
            const ColourScale s(upper, lower, bars, layout, gradient, ext);
            std::vector<float> values{lower, upper, 0.0f, 9999.0f, -9999.0f,
                                      1e5f,  -1e5f, inf,  -inf,    nan};
            for (const ColourBand &b : s.entries())
              values.insert(values.end(), {b.lower, b.upper});
            const std::size_t limits = values.size();
            for (std::size_t k = 0; k < limits; ++k)
              values.insert(values.end(),
                            {std::nextafter(values[k], -inf), std::nextafter(values[k], inf)});
            const int last = int(s.entries().size()) - 1;
            for (float v : values) {
              SCOPED_TRACE(::testing::Message()
                           << "tol " << lower << ".." << upper << " layout " << layout << " bars "
                           << bars << " gradient " << gradient << " value " << v);
              const PointVerdict p = s.verdict(v);
              expectColourFollowsVerdict(s, v, p);
              // The status goes with the entry that counts the value.
              if (std::isnan(v)) {
                EXPECT_EQ(p.entry, -1);
                EXPECT_EQ(p.status, ToleranceStatus::NotANumber);
                continue;
              }
              ASSERT_GE(p.entry, 0);
              EXPECT_EQ(p.status, p.entry == 0      ? ToleranceStatus::Below
                                  : p.entry == last ? ToleranceStatus::Above
                                                    : ToleranceStatus::In);
              // Band count, layout and extended colours never change a status.
              EXPECT_EQ(p.status, toleranceStatus(v, lower, upper, gradient));
              // The bands: the lower limit takes the below-range entry, the upper one the top
              // band; the gradient holds both limits (and with a zero lower tolerance shows
              // every value not above zero in blue).
              const bool in = gradient ? (lower <= v || (lower == 0.0f && v <= 0.0f)) && v <= upper
                                       : lower < v && v <= upper;
              EXPECT_EQ(p.status == ToleranceStatus::In, in);
              EXPECT_EQ(p.beyond, !gradient && std::fabs(v) > 9999.0f);
            }
          }
}

TEST(ColourScaleVerdict, NearZeroGradientTolerancesFollowTheirColours) {
  // Every positive value is red with an upper tolerance of zero: inside, by its colour.
  const ColourScale zero(0.0f, -0.5f, 15, 0, true, true);
  EXPECT_EQ(zero.colourFor(2.0f), kRed);
  EXPECT_EQ(zero.verdict(2.0f).status, ToleranceStatus::In);
  EXPECT_EQ(zero.verdict(2.0f).entry, 15);
  EXPECT_EQ(toleranceStatus(2.0f, -0.5, 0.0, true), ToleranceStatus::In);
  EXPECT_EQ(toleranceStatus(2.0f, -0.5, 0.0, false), ToleranceStatus::Above);
}

TEST(ColourScaleVerdict, ASingleBandEndsAtTheUpperTolerance) {
  // lower + |upper - lower| in float can miss the upper tolerance; the band still ends there.
  int missed = 0;
  for (float upper = 0.01f; upper < 1.0f; upper += 0.0137f)
    for (float lower : {-0.3f, -0.17f, -0.05f, 0.0f}) {
      const ColourScale s(upper, lower, 1, 0, false, false);
      missed += lower + std::fabs(upper - lower) != upper;
      expectContiguous(s);
      EXPECT_EQ(s.colourFor(upper), kRed) << lower << ".." << upper;
      EXPECT_EQ(s.colourFor(std::nextafter(upper, -1.0f)), kRed) << lower << ".." << upper;
    }
  EXPECT_GT(missed, 0); // the sums that miss are among the cases
}
