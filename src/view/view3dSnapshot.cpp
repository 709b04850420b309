#include "view/view3d.h"

// Not built yet: the command stays disabled.
void view3d::onSnapshot() {}

bool view3d::snapshotAvailable() { return false; }
