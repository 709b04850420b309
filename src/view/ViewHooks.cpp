#include "view/ViewHooks.h"

// Stand-ins until picking lands: nothing is hit, nothing is drawn.

int nearestPointUnderCursor(view3d &, ViewScene &, int, int) { return -1; }

void createBannerAtClick(view3d &, ViewScene &, int, int) {}

bool hitComment(GLList *, int, int, ViewState &) { return false; }

void drawSingleBannerPanel(ViewState &, ViewScene &) {}

void drawHoverPanel(ViewState &, ViewScene &, double, double, double, double, int) {}
