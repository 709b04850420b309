#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/AtomicFile.h"
#include "export/BitmapFile.h"

#include <cctype>
#include <cstdio>

namespace {
// Whether the file name (not a bare ".bmp") ends in .bmp in any case.
bool hasBitmapSuffix(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() <= 4)
    return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char &c : suffix)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == ".bmp";
}

int fail(const std::string &message) {
  std::fprintf(stderr, "velmora-viewer: %s\n", message.c_str());
  return 1;
}
} // namespace

int runSnapshot(const CliArgs &args) {
  // What can be refused without reading the input is refused first.
  if (!hasBitmapSuffix(args.output))
    return fail(args.output + ": a snapshot is a bitmap; the file name must end in .bmp");
  if (const std::string problem = targetIsInputProblem(args.output, args.file); !problem.empty())
    return fail(problem);
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
