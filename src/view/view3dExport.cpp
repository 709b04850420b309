#include "view/view3d.h"

// Not built yet: the command stays disabled.
void view3d::onExport() {}

bool view3d::exportAvailable() { return false; }
