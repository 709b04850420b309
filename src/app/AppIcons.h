#pragma once
#include <QIcon>

// Icons of our own, painted at start-up: the tool bar buttons (16 x 15) and the
// application icon.
QIcon toolbarIcon(int commandId);
QIcon applicationIcon();
