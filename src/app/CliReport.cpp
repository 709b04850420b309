#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "io/AtomicFile.h"
#include "report/InspectionReport.h"
#include "report/ReportRecord.h"
#include "scene/ViewState.h"

#include <cstdio>

int runReport(const CliArgs &args) {
  // Refused before anything is read or drawn.
  if (const std::string problem = outputIsInputProblem(args); !problem.empty())
    return cliFail(problem);
  HeadlessView view;
  if (!view.open(args.file))
    return cliFail(view.error());
  // The callouts of --annotations, or of the sidecar saved beside the file, whose settings the
  // view then shows (as a window restores them) unless the command line sets them.
  const ReportRecord record = reportRecordFor(view.model(), args.annotations);
  if (!record.ok)
    return cliFail(record.error);
  cliNotes(record.notes);
  const ViewState &opening = view.view();
  const QSize snapshotSize =
      reportSnapshotSize(double(opening.viewWidth) / double(opening.viewHeight));
  DisplayOptions d = args.display;
  if (record.found) {
    // The view as a window opens it with its record: camera, banners, distances, comments.
    Annotations shown = record.annotations;
    shown.display = displaySettingsFor(args, shown.display);
    d = displayFor(args, shown.display);
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
    content.callouts = calloutRows(view.model(), record.annotations.banners,
                                   record.annotations.distances, d.lower, d.upper, d.gradient);
  }
  // The opening view at the window's default proportions.
  content.snapshot = view.draw(snapshotSize);
  if (content.snapshot.isNull())
    return cliFail(view.error());
  const ExportResult written = writeInspectionReport(args.output, content);
  return written.ok ? 0 : cliFail(written.message);
}
