#pragma once
// The display settings of one window, defined once: what the settings dialog edits, what a
// record saves, what the headless commands take from a record and their options, and what the
// point cloud, the legend, the banners and the report are drawn with. Limits and defaults live
// here and nowhere else. The numeric values of the enums are those of the record's older
// numeric form and of the window's option codes; the record file itself names them in words.
#include "analysis/ColourScale.h"

// How the model is drawn.
enum class DisplayMode { Points = 1, Triangles = 4 };

// Which points are drawn: all, or only those outside the tolerance. The filter also chooses
// the colour scale's layout (ScaleLayout).
enum class PointFilter { All = 0, OutsideOnly = 2 };

// The colour scale's layout, ColourScale's layout argument: standard bands around the
// tolerance, or the outside layout (bands only beyond the tolerances; 1 and 2 both mean it).
enum class ScaleLayout { Standard = 0, Outside = 2 };

// The colour of a banner's leader line.
enum class BannerLineColour { Own = 0, White = 1, Black = 2, Deviation = 3 };

// The size of drawn points; Triangles while the model is drawn as a mesh.
enum class PointSize { Triangles = 0, S = 1, M = 2, L = 3 };

// What the settings may hold: the dialog, the command line and the record reader all check
// against these.
struct DisplayLimits {
  static constexpr double kDefaultTolerance = 0.25; // mm, either way
  static constexpr int kMinColourBars = 3, kMaxColourBars = 50, kDefaultColourBars = 15;
  static constexpr int kMaxDecimalPlaces = 6, kDefaultDecimalPlaces = 3;
};

// The defaults are those of a freshly opened session file; a setting missing in a record
// reads as its default.
struct DisplaySettings {
  double upperTolerance = DisplayLimits::kDefaultTolerance;  // > 0; the two are one part
  double lowerTolerance = -DisplayLimits::kDefaultTolerance; // < 0
  int colourBars = DisplayLimits::kDefaultColourBars;        // kMinColourBars..kMaxColourBars
  PointFilter pointFilter = PointFilter::All;
  bool gradient = false;        // legend and model coloured as a gradient
  bool extendedColours = false; // extended colour scale
  DisplayMode displayMode = DisplayMode::Triangles;
  PointSize pointSize = PointSize::Triangles;
  double magnification = 1.0;                               // any finite number
  int decimalPlaces = DisplayLimits::kDefaultDecimalPlaces; // 0..kMaxDecimalPlaces
  BannerLineColour bannerLineColour = BannerLineColour::Own;
  bool showPercentages = false; // the shares of the points beside the legend

  // The filter's code is the layout's: 2 (and 1, the outside colours over every point, which
  // the point cloud still draws) take the outside layout.
  ScaleLayout scaleLayout() const {
    return ColourScale::isOutsideLayout(static_cast<int>(pointFilter)) ? ScaleLayout::Outside
                                                                       : ScaleLayout::Standard;
  }
  friend bool operator==(const DisplaySettings &, const DisplaySettings &) = default;
};

// The scale the model's points and triangles are coloured with: the tolerances, bars, the
// point filter's layout and both colour switches.
ColourScale modelScale(const DisplaySettings &settings);
// The scale of the legend, its shares, the report's histogram and the counts of the headless
// commands: as modelScale but always in the standard layout.
ColourScale legendScale(const DisplaySettings &settings);
// The banded colour of one point's deviation, for banners, distances and the section curve:
// the legend's scale without the gradient.
ColourScale bannerScale(const DisplaySettings &settings);

// Enum values as plain numbers (file and option codes).
template <typename E> constexpr int code(E value) { return static_cast<int>(value); }
