#pragma once
#include <QColor>
#include <QRectF>

class ColourScale;
struct Colour;
class QFont;
class QPainter;

// What the view's colour legend shows: bars from the lower to the upper tolerance in the
// standard layout, gradient or flat, with the extended out-of-range boxes.
struct LegendSettings {
  float upper = 0.25f, lower = -0.25f;
  int bars = 15;
  bool gradient = false, extended = false;

  // The legend the view draws beside a model coloured by scale (the legend always shows the
  // standard layout, with the scale's bar count).
  static LegendSettings of(const ColourScale &scale);
};

// A scale colour as Qt paints it.
QColor qcolour(const Colour &c);

// Paints the legend as a horizontal strip into area: the bars from left (lower tolerance) to
// right (upper), the out-of-range boxes at both ends with extended colours, and the bar
// boundaries labelled below as the view labels them (three decimals, in mm), thinned out
// where they would overlap. Opaque colours only, so that the page stays free of transparency.
void paintLegendStrip(QPainter &painter, const QRectF &area, const LegendSettings &legend,
                      const QFont &font);
