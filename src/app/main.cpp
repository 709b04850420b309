#include "app/Application.h"
#include "app/Cli.h"

int main(int argc, char **argv) {
  // Everything the command line decides is settled before any window system is touched.
  std::vector<std::string> files;
  const int status = runCommandLine(argc, argv, files);
  if (status >= 0)
    return status;
  return runDesktopApplication(argv[0], files);
}
