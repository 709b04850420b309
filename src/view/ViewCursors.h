#pragma once
#include <QCursor>

// Cursors of our own for the 3D view, painted at start-up: two circular arrows for
// rotating and a magnifier for zooming.
QCursor makeRotateCursor();
QCursor makeZoomCursor();
