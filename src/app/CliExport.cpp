#include "app/Cli.h"
#include "export/ExportFile.h"

#include <cstdio>

int runExport(const CliArgs &args) {
  const ExportResult r = exportSessionFile(args.output, args.file, args.display.colourScale());
  if (r.ok)
    return 0;
  std::fprintf(stderr, "velmora-viewer: %s\n", r.message.c_str());
  return 1;
}
