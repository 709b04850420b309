#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/BitmapFile.h"
#include "export/ExportFile.h"
#include "io/AtomicFile.h"
#include "records/AnnotationsFile.h"

#include <cstdio>

int runSnapshot(const CliArgs &args) {
  // What can be refused without reading the input is refused first.
  if (!hasSuffixNoCase(args.output, ".bmp"))
    return cliFail(args.output + ": a snapshot is a bitmap; the file name must end in .bmp");
  if (const std::string problem = outputIsInputProblem(args); !problem.empty())
    return cliFail(problem);
  HeadlessView view;
  if (!view.open(args.file))
    return cliFail(view.error());
  // A record shows as the window restores it; display options given here win.
  CliDisplay shown;
  if (!cliDisplayShown(args, view.model(), shown))
    return 1;
  if (shown.found)
    view.applyRecord(shown.record, {args.width, args.height});
  else
    view.setDisplay(args);
  const std::vector<std::uint8_t> rgba = view.drawRgba({args.width, args.height});
  if (rgba.empty())
    return cliFail(view.error());
  const ExportResult written =
      writeBitmapFile(args.output, bitmapFromRgbaRows(rgba.data(), args.width, args.height, 32));
  if (!written.ok)
    return cliFail(written.message);
  return 0;
}
