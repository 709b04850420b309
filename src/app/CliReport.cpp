#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/AtomicFile.h"
#include "report/InspectionReport.h"
#include "report/ReportRecord.h"
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
  for (const std::string &input : {args.file, args.annotations}) {
    if (input.empty())
      continue;
    if (const std::string problem = targetIsInputProblem(args.output, input); !problem.empty())
      return fail(problem);
  }
  HeadlessView view;
  if (!view.open(args.file))
    return fail(view.error());
  // The callouts of --annotations, or of the sidecar saved beside the file, whose settings the
  // view then shows (as a window restores them) unless the command line sets them.
  const ReportRecord record = reportRecordFor(view.model(), args.annotations);
  if (!record.ok)
    return fail(record.error);
  for (const std::string &note : record.notes)
    std::fprintf(stderr, "velmora-viewer: note: %s\n", note.c_str());
  const DisplayOptions d =
      record.found ? displayFor(args, record.annotations.display) : args.display;
  const ViewState &opening = view.view();
  const QSize snapshotSize =
      reportSnapshotSize(double(opening.viewWidth) / double(opening.viewHeight));
  if (record.found) {
    // The view as a window opens it with its record: camera, banners, distances, comments.
    Annotations shown = record.annotations;
    shown.display = displaySettingsFor(args, shown.display);
    view.applyRecord(shown, snapshotSize);
  } else {
    view.setDisplay(d);
  }

  const LegendSettings legend{float(d.upper), float(d.lower), d.bars, d.gradient, d.extended};
  ReportContent content =
      reportContentFor(view.model(), view.isSessionFile(), d.lower, d.upper, legend);
  if (record.found) {
    content.inputs.push_back(record.path);
    content.haveCallouts = true;
    content.callouts = reportCallouts(view.model(), record.annotations, d.lower, d.upper);
  }
  // The opening view at the window's default proportions.
  content.snapshot = view.draw(snapshotSize);
  if (content.snapshot.isNull())
    return fail(view.error());
  const ExportResult written = writeInspectionReport(args.output, content);
  return written.ok ? 0 : fail(written.message);
}
