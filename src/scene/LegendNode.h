#pragma once
#include "analysis/DisplaySettings.h"
#include "scene/SceneNode.h"

#include <string>
#include <vector>

// The deviation colour legend at the right edge of the view: one bar per colour band from
// the lower to the upper tolerance, optional out-of-range boxes and labels at the bar
// boundaries, drawn in window pixels. Text uses the view's bitmap font lists.
class LegendNode : public DrawableNode {
public:
  LegendNode(ViewState *view, float upper, float lower, int barCount, int layout, bool gradient);

  // Draws the legend into the given view (draw() draws nothing).
  virtual void drawLegend(ViewState *view, int pass);

  // Bars actually drawn: the colour scale's band count for this layout (the requested
  // count clamped to what the scale supports), so bar height and colours always agree.
  int effectiveBarCount() const;

  int barCount;
  float upper;
  float lower;
  int layout;
  bool extended = false; // the point cloud's extended colours switch
  bool gradient;
  int units = 1; // 2: labels in inches
  // Fraction of the measured values per entry of this legend's colour scale (entries(),
  // lowest first), written as percentages beside the bars and boxes; empty: none.
  std::vector<double> entryShares;

  // "12.3%", with "<0.1%" and ">99.9%" so that a few values never read as none or all.
  static std::string percentText(double fraction);
  // What the shares below and above the band are labelled with: "< -0.250", "> +0.250" with
  // the given decimal places.
  static std::string boundText(bool above, double tolerance, int places);

private:
  // The scale of this legend's layout, built from its settings.
  ColourScale scale(bool withGradient) const;
  void drawShares(ViewState *view, int W, int n, int y0, int h, int entries) const;
};
