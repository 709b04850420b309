#include "app/Cli.h"

#include <cstdio>

int runSection(const CliArgs &) {
  std::fputs("velmora-viewer: this command is not available in this build\n", stderr);
  return 2;
}
