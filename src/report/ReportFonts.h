#pragma once
#include <QFont>

// The font of every page we write: a sans face Qt can embed (PDF/A wants every font in the
// file), at a size in points.
QFont reportFont(double points, bool bold = false);
