#pragma once
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
  // Index into entries() of the entry whose colour the value gets: the first band table
  // entry holding it; with the gradient, the legend's entry (0 below the band, 1..n its bars,
  // n + 1 above it). -1 when no entry holds it (beyond the outer limits, or not a number).
  // colourFor decides with the same lookup, so counts made with it match the colours.
  int entryIndex(float value) const;
  // What entryIndex indexes, lowest first: the band table, or with the gradient the standard
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
