#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/AtomicFile.h"
#include "export/BitmapFile.h"
#include "records/AnnotationsFile.h"

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
  for (const std::string &input : {args.file, args.annotations})
    if (const std::string problem =
            input.empty() ? std::string() : targetIsInputProblem(args.output, input);
        !problem.empty())
      return fail(problem);
  HeadlessView view;
  if (args.annotations.empty()) {
    if (!view.open(args.file, args.display))
      return fail(view.error());
  } else {
    if (!view.open(args.file))
      return fail(view.error());
    // The record shows as the window restores it; display options given here win.
    const AnnotationsReadResult r =
        readAnnotationsFor(args.annotations, ModelIdentity::of(view.model()));
    if (!r.ok)
      return fail(r.error);
    for (const std::string &note : r.notes)
      std::fprintf(stderr, "velmora-viewer: note: %s\n", note.c_str());
    Annotations record = r.annotations;
    record.display = displaySettingsFor(args, record.display);
    view.applyRecord(record, {args.width, args.height});
  }
  const std::vector<std::uint8_t> rgba = view.drawRgba({args.width, args.height});
  if (rgba.empty())
    return fail(view.error());
  const ExportResult written =
      writeBitmapFile(args.output, bitmapFromRgbaRows(rgba.data(), args.width, args.height, 32));
  if (!written.ok)
    return fail(written.message);
  return 0;
}
