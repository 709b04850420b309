#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/BitmapFile.h"

#include <cstdio>

namespace {
int fail(const std::string &message) {
  std::fprintf(stderr, "velmora-viewer: %s\n", message.c_str());
  return 1;
}
} // namespace

int runSnapshot(const CliArgs &args) {
  HeadlessView view;
  if (!view.open(args.file, args.display))
    return fail(view.error());
  const std::vector<std::uint8_t> rgba = view.drawRgba({args.width, args.height});
  if (rgba.empty())
    return fail(view.error());
  const ExportResult written =
      writeBitmapFile(args.output, bitmapFromRgbaRows(rgba.data(), args.width, args.height, 32));
  if (!written.ok)
    return fail(written.message);
  return 0;
}
