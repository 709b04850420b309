#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "io/AtomicFile.h"
#include "report/InspectionReport.h"
#include "report/ReportRecord.h"
#include "scene/ViewState.h"

#include "export/ExportFile.h"
#include "session/SessionModel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

int parseReportOption(const std::vector<std::string> &argv, std::size_t &i, CliArgs &out,
                      std::string &error) {
  const std::string &a = argv[i];
  if (a != "--accept" && a != "--field")
    return 0;
  if (i + 1 >= argv.size()) {
    error = a + " needs a value";
    return -1;
  }
  const std::string &v = argv[++i];
  if (a == "--accept") {
    char *end = nullptr;
    const double p = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !std::isfinite(p) || !(p > 0) || p > 100) {
      error = "--accept takes a percentage above 0 and at most 100, not '" + v + "'";
      return -1;
    }
    out.accept = p;
    return 1;
  }
  const std::size_t eq = v.find('=');
  const std::string name = v.substr(0, eq);
  if (eq == std::string::npos || !isReportField(name)) {
    error = "--field takes NAME=VALUE with NAME one of part, lot, operator and approved-by, not '" +
            v + "'";
    return -1;
  }
  out.fields.emplace_back(name, v.substr(eq + 1));
  return 1;
}

bool checkReportOptions(const CliArgs &args, std::string &error) {
  if (args.command == "report" || (!args.given.count("--accept") && !args.given.count("--field")))
    return true;
  error = "--accept and --field only go with --report";
  return false;
}

int runReport(const CliArgs &args) {
  // Refused before anything is read or drawn.
  if (const std::string problem = outputIsInputProblem(args); !problem.empty())
    return cliFail(problem);
  HeadlessView view;
  if (!view.open(args.file))
    return cliFail(view.error());
  if (const std::string empty = emptyModelProblem(args.output, view.model()); !empty.empty())
    return cliFail(empty);
  // The callouts of --annotations, or of the sidecar saved beside the file, whose settings the
  // view then shows (as a window restores them) unless the command line sets them.
  CliDisplay record;
  if (!cliDisplayShown(args, view.model(), record))
    return 1;
  const ViewState &opening = view.view();
  const QSize snapshotSize =
      reportSnapshotSize(double(opening.viewWidth) / double(opening.viewHeight));
  const DisplaySettings &d = record.settings;
  if (record.found)
    // The view as a window opens it with its record: camera, banners, distances, comments.
    view.applyRecord(record.record, snapshotSize);
  else
    view.setDisplay(args);

  ReportContent content = reportContentFor(view.model(), view.isSessionFile(), d);
  content.toleranceSource = toleranceSourceText(record);
  if (record.found) {
    content.inputs.push_back(record.recordPath);
    content.haveCallouts = true;
    content.callouts = calloutRows(view.model(), record.record.banners, record.record.distances,
                                   d.lowerTolerance, d.upperTolerance, d.gradient);
  }
  content.acceptPercent = args.accept;
  for (const auto &[name, value] : args.fields)
    setReportField(content, name, value);
  // The opening view at the window's default proportions, without the overlays the report
  // paints at print size.
  content.snapshot = view.draw(snapshotSize, false);
  if (content.snapshot.isNull())
    return cliFail(view.error());
  content.mmPerPixel = view.view().pixelSize();
  content.rotation = view.view().rotation.accumulated;
  const ExportResult written = writeInspectionReport(args.output, content);
  return written.ok ? 0 : cliFail(written.message);
}
