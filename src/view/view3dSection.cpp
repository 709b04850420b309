#include "view/view3d.h"

// Not built yet: the command stays disabled.
void view3d::onGenerateSectionCurve() {}

bool view3d::sectionAvailable() { return false; }
