#include "app/CKestrinApp.h"

#include <cstdio>

int runDesktopApplication(int, char **) {
  std::fputs("velmora-viewer: the desktop window is not available in this build\n", stderr);
  return 2;
}
