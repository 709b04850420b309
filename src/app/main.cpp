#include "app/CKestrinApp.h"
#include "app/Cli.h"

int main(int argc, char **argv) {
  if (isHeadlessCommand(argc, argv))
    return runHeadless(argc, argv);
  return runDesktopApplication(argc, argv);
}
