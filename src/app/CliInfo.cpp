#include "app/Cli.h"

#include <cstdio>

int runInfo(const CliArgs &) {
  std::fputs("velmora-viewer: this command is not available in this build\n", stderr);
  return 2;
}
