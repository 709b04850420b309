#pragma once
#include <QColor>
#include <QRectF>

#include "analysis/DisplaySettings.h"

struct Colour;
class QFont;
class QPainter;

// The legend the view draws beside a model coloured by scale: its tolerances, bar count and
// colour switches (the legend always shows the standard layout, with the scale's bar count).
DisplaySettings legendSettingsOf(const ColourScale &scale);

// A scale colour as Qt paints it.
QColor qcolour(const Colour &c);

// Paints the legend as a horizontal strip into area: the bars from left (lower tolerance) to
// right (upper), the out-of-range boxes at both ends with extended colours, and the bar
// boundaries labelled below as the view labels them (three decimals, in mm), thinned out
// where they would overlap. Opaque colours only, so that the page stays free of transparency.
void paintLegendStrip(QPainter &painter, const QRectF &area, const DisplaySettings &legend,
                      const QFont &font);
