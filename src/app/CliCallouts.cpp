// --callouts OUT.csv [--annotations F.json] [--worst N [--spacing D]] FILE: the callout table of
// a saved annotation record and/or of the worst points, without a display.
#include "analysis/WorstPoints.h"
#include "app/Cli.h"
#include "export/ExportFile.h"
#include "records/AnnotationsFile.h"
#include "records/CalloutTable.h"
#include "session/SessionModel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

bool sharedExport(const CliArgs &args) {
  const ExportKind kind = exportKindFor(args.output);
  return args.command == "export" && (kind == ExportKind::Gltf || kind == ExportKind::WebPage);
}

DisplayOptions displayFor(const CliArgs &args, const DisplaySettings &s) {
  DisplayOptions d = args.display;
  d.upper = s.upperTolerance;
  d.lower = s.lowerTolerance;
  d.bars = s.colourBars;
  d.gradient = s.gradient;
  d.extended = s.extendedColours;
  d.outsideOnly = s.pointFilter == 2;
  d.points = s.displayMode == 1;
  return d;
}

DisplaySettings displaySettingsFor(const CliArgs &args, DisplaySettings d) {
  const auto given = [&](const char *option) { return args.given.count(option) > 0; };
  if (given("--tolerance") || given("--upper") || given("--lower")) {
    d.upperTolerance = args.display.upper;
    d.lowerTolerance = args.display.lower;
  }
  if (given("--bars"))
    d.colourBars = args.display.bars;
  d.gradient = d.gradient || args.display.gradient;
  d.extendedColours = d.extendedColours || args.display.extended;
  if (args.display.outsideOnly)
    d.pointFilter = 2;
  if (args.display.points) {
    d.displayMode = 1;
    d.pointSize = d.pointSize > 0 ? d.pointSize : 1;
  }
  return d;
}

int parseRecordOption(const std::vector<std::string> &argv, std::size_t &i, CliArgs &out,
                      std::string &error) {
  const std::string &a = argv[i];
  if (a != "--callouts" && a != "--annotations" && a != "--worst" && a != "--spacing")
    return 0;
  if (i + 1 >= argv.size()) {
    error = a + " needs a value";
    return -1;
  }
  const std::string &v = argv[++i];
  char *end = nullptr;
  if (a == "--callouts") {
    out.command = "callouts";
    out.output = v;
  } else if (a == "--annotations") {
    out.annotations = v;
  } else if (a == "--worst") {
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < 1 || n > WorstPointsRequest::kMaxCount) {
      error = "--worst takes a whole number from 1 to " +
              std::to_string(WorstPointsRequest::kMaxCount) + ", not '" + v + "'";
      return -1;
    }
    out.worst = static_cast<int>(n);
  } else {
    const double d = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !std::isfinite(d) || d < 0) {
      error = "--spacing takes a distance in mm (0 or more), not '" + v + "'";
      return -1;
    }
    out.spacing = d;
  }
  return 1;
}

bool checkRecordOptions(const CliArgs &args, std::string &error) {
  if (args.given.count("--spacing") && !args.worst)
    error = "--spacing goes with --worst";
  else if (args.worst && args.command != "callouts")
    error = "--worst goes with --callouts";
  else if (!args.annotations.empty() && args.command != "callouts" && args.command != "report" &&
           args.command != "snapshot" && !sharedExport(args))
    error = "--annotations goes with --callouts, --report, --snapshot or --export OUT.glb|OUT.html";
  else if (args.maxTriangles > 0 && !sharedExport(args))
    error = "--max-triangles goes with --export OUT.glb|OUT.html";
  else if (args.command == "callouts" && args.annotations.empty() && !args.worst)
    error = "--callouts needs --annotations F.json or --worst N";
  return error.empty();
}

int runCallouts(const CliArgs &args) {
  if (args.output.empty())
    return cliFail("--callouts needs an output file");
  SessionModel model;
  bool isSessionFile = false;
  std::string error;
  if (!readModelFile(args.file, model, isSessionFile, error))
    return cliFail(error);

  Annotations record;
  if (!args.annotations.empty()) {
    const AnnotationsReadResult r = readAnnotationsFor(args.annotations, ModelIdentity::of(model));
    if (!r.ok)
      return cliFail(r.error);
    cliNotes(r.notes);
    record = r.annotations;
  }
  const DisplayOptions display = displayFor(args, displaySettingsFor(args, record.display));

  std::vector<BannerRecord> banners = record.banners;
  if (args.worst > 0) {
    WorstPointsRequest request;
    request.count = args.worst;
    request.spacing =
        args.spacing >= 0 ? args.spacing : defaultWorstPointSpacing(model.GetBoundingBox());
    request.lower = display.lower;
    request.upper = display.upper;
    request.gradient = display.gradient;
    const std::vector<std::int32_t> worst = worstPoints(model, request);
    if (worst.size() < static_cast<std::size_t>(args.worst))
      std::fprintf(stderr,
                   "velmora-viewer: note: only %zu of %d worst points qualify (outside the "
                   "tolerance and %g mm apart)\n",
                   worst.size(), args.worst, request.spacing);
    for (const std::int32_t index : worst)
      banners.push_back(BannerRecord{index, {}, {}});
  }

  const std::vector<CalloutRow> rows =
      calloutRows(model, banners, record.distances, display.lower, display.upper, display.gradient);
  std::vector<std::string> inputs{args.file};
  if (!args.annotations.empty())
    inputs.push_back(args.annotations);
  const ExportResult written = writeCalloutCsv(args.output, rows, inputs);
  if (!written.ok)
    return cliFail(written.message);
  return 0;
}
