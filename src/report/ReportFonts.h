#pragma once
#include <QFont>

class QPdfWriter;

// The font of every page we write: a sans face Qt can embed (PDF/A wants every font in the
// file), at a size in points.
QFont reportFont(double points, bool bold = false);
// The page of every PDF we write: A4 landscape without margins, laid out in points (72 dpi).
void setUpA4LandscapePage(QPdfWriter &writer);
