#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/AtomicFile.h"
#include "report/InspectionReport.h"
#include "scene/ViewState.h"

#include <cstdio>

namespace {
int fail(const std::string &message) {
  std::fprintf(stderr, "velmora-viewer: %s\n", message.c_str());
  return 1;
}
} // namespace

int runReport(const CliArgs &args) {
  // Refused before anything is read or drawn.
  if (const std::string problem = targetIsInputProblem(args.output, args.file); !problem.empty())
    return fail(problem);
  HeadlessView view;
  if (!view.open(args.file, args.display))
    return fail(view.error());
  const DisplayOptions &d = args.display;
  const LegendSpec legend{float(d.upper), float(d.lower), d.bars, d.gradient, d.extended};
  ReportContent content =
      reportContentFor(view.model(), view.isSessionFile(), d.lower, d.upper, legend);
  // The opening view at the window's default proportions.
  const ViewState &opening = view.view();
  content.snapshot =
      view.draw(reportSnapshotSize(double(opening.viewWidth) / double(opening.viewHeight)));
  if (content.snapshot.isNull())
    return fail(view.error());
  const ExportResult written = writeInspectionReport(args.output, content);
  return written.ok ? 0 : fail(written.message);
}
