#pragma once
#include "analysis/ToleranceStatus.h"

#include <vector>

// Displayed red, green, blue in 0..1.
struct Colour {
  double r = 0, g = 0, b = 0;
  friend bool operator==(const Colour &, const Colour &) = default;
};

// One entry of the band table: a value v belongs to it when lower <= v <= upper.
struct ColourBand {
  float upper = 0;
  float lower = 0;
  Colour colour;
};

// Where one value lands on a colour scale: the single decision behind its colour, its status
// against the tolerances and the entry of entries() that counts it.
struct PointVerdict {
  // The entry that counts the value: the one whose colour it gets, or for a value beyond the
  // outer limits (drawn white) the outermost entry on its side. -1 only for a value that is
  // not a number.
  int entry = -1;
  // Below for the first entry, above for the last, in for the others.
  ToleranceStatus status = ToleranceStatus::NotANumber;
  bool beyond = false; // no band holds it (past -9999 or 9999): drawn white
};

// Continuous colour for t in -1..1: blue, cyan, green, yellow, red; black beyond.
Colour rainbow(float t);

// Maps a deviation to its display colour from the tolerances, band count, layout
// (1 or 2: outside layout, else standard), gradient and extended switches. Shared by the
// point cloud, legend, banners, section curve and both exports so that all agree.
class ColourScale {
public:
  // Band counts are clamped to the layout's minimum (3 outside, 1 standard) and to 1000.
  static constexpr int kMaxBands = 1000;

  ColourScale(float upper, float lower, int bandCount, int layout, bool gradient, bool extended);

  Colour colourFor(float value) const;
  // The one lookup that colourFor, the tolerance status, the in/above/below counts and the
  // histogram all take: the first band table entry holding the value; with the gradient, the
  // legend's entry (0 below the band, 1..n the bar holding it, n + 1 above it).
  PointVerdict verdict(float value) const;
  // What a verdict's entry indexes, lowest first: the band table, or with the gradient the standard
  // layout's table for the same count (the legend's bars and out-of-range boxes).
  const std::vector<ColourBand> &entries() const { return gradient_ ? legendEntries_ : bands_; }
  // Colour of band entry index (the legend paints its bars with these); white when the
  // index is outside the table.
  Colour bandColour(int index) const;
  // Entries of the band table after the constructor's adjustment.
  int bandCount() const { return bandCount_; }
  const std::vector<ColourBand> &bands() const { return bands_; }

  float upper() const { return upper_; }
  float lower() const { return lower_; }
  int layout() const { return layout_; }
  bool gradient() const { return gradient_; }
  bool extended() const { return extended_; }

  static bool isOutsideLayout(int layout) { return layout == 1 || layout == 2; }

private:
  // The gradient's position of a value on the -1..1 scale (beyond it: out of range).
  float gradientPosition(float value) const;
  // verdict, also handing out the gradient position it was decided with.
  PointVerdict verdictAt(float value, float &position) const;
  // First entry in [from, to) of the table that holds the value, or -1.
  int firstHolding(const std::vector<ColourBand> &table, bool ordered, int from, int to,
                   float value) const;

  int bandCount_;
  float upper_, lower_;
  int layout_;
  bool gradient_, extended_;
  std::vector<ColourBand> bands_;
  std::vector<ColourBand> legendEntries_; // gradient only
  // Each entry starts where the previous one ends and none is inverted: a binary search
  // then finds the same first entry as a scan in table order.
  bool ordered_ = false;
  // Where an ordered table's inner slices start, and slices per unit: the first guess.
  float guessBase_ = 0, guessScale_ = 0;
};
