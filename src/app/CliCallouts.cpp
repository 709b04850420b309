// --callouts OUT.csv [--annotations F.json] [--worst N [--spacing D]] FILE: the callout table of
// a saved annotation record and/or of the worst points, without a display.
#include "analysis/WorstPoints.h"
#include "app/Cli.h"
#include "export/ExportFile.h"
#include "records/AnnotationsFile.h"
#include "records/CalloutTable.h"
#include "session/SessionModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

bool sharedExport(const CliArgs &args) {
  const ExportKind kind = exportKindFor(args.output);
  return args.command == "export" && (kind == ExportKind::Gltf || kind == ExportKind::WebPage);
}

DisplaySettings displaySettingsFor(const CliArgs &args, DisplaySettings d) {
  const auto given = [&](const char *option) { return args.given.count(option) > 0; };
  if (given("--tolerance") || given("--upper") || given("--lower")) {
    d.upperTolerance = args.display.upperTolerance;
    d.lowerTolerance = args.display.lowerTolerance;
  }
  if (given("--bars"))
    d.colourBars = args.display.colourBars;
  d.gradient = d.gradient || args.display.gradient;
  d.extendedColours = d.extendedColours || args.display.extendedColours;
  if (args.display.pointFilter == PointFilter::OutsideOnly)
    d.pointFilter = PointFilter::OutsideOnly;
  if (args.display.displayMode == DisplayMode::Points) {
    d.displayMode = DisplayMode::Points;
    if (d.pointSize == PointSize::Triangles)
      d.pointSize = PointSize::S;
  }
  return d;
}

CliDisplay cliDisplayFor(const CliArgs &args, const SessionModel &model) {
  CliDisplay out;
  const std::string path = args.annotations.empty() ? sidecarPathFor(model.path) : args.annotations;
  // A sidecar that is certainly not there is no record: the model's checksum is not computed.
  std::error_code missing;
  const bool noSidecar =
      args.annotations.empty() && !std::filesystem::exists(path, missing) && !missing;
  if (!args.noAnnotations && !noSidecar) {
    // --annotations must be usable; the sidecar is optional and never in the way.
    AnnotationsReadResult r = readAnnotationsFor(path, ModelIdentity::of(model));
    out.notes = std::move(r.notes);
    if (r.ok) {
      out.found = true;
      out.recordPath = path;
      out.record = std::move(r.annotations);
    } else if (!args.annotations.empty()) {
      out.ok = false;
      out.error = r.error;
      return out;
    } else if (!r.absent) {
      out.notes.push_back(r.error + "; its settings are not applied, the defaults are used");
    }
  }
  out.settings = displaySettingsFor(args, out.record.display);
  out.record.display = out.settings;
  const bool toleranceGiven =
      args.given.count("--tolerance") || args.given.count("--upper") || args.given.count("--lower");
  // A record whose tolerances were refused by its check supplied none: the defaults count.
  const bool recordTolerances =
      out.found && std::none_of(out.notes.begin(), out.notes.end(), [](const std::string &n) {
        return n.find(": the tolerances are not applied") != std::string::npos;
      });
  out.toleranceSource = toleranceGiven ? "options" : recordTolerances ? "record" : "default";
  return out;
}

std::string toleranceSourceText(const CliDisplay &d) {
  if (d.toleranceSource == "options")
    return "command line";
  if (d.toleranceSource == "record") {
    const std::size_t slash = d.recordPath.find_last_of('/');
    return "from " + (slash == std::string::npos ? d.recordPath : d.recordPath.substr(slash + 1));
  }
  return "default";
}

int parseRecordOption(const std::vector<std::string> &argv, std::size_t &i, CliArgs &out,
                      std::string &error) {
  const std::string &a = argv[i];
  if (a == "--no-annotations") {
    out.noAnnotations = true;
    return 1;
  }
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
  else if (!args.annotations.empty() && args.command == "section")
    error = "--annotations goes with --info, --export, --snapshot, --report or --callouts";
  else if (args.noAnnotations && !args.annotations.empty())
    error = "--no-annotations and --annotations cannot be given together";
  else if (args.noAnnotations && args.command == "section")
    error = "--no-annotations goes with --info, --export, --snapshot, --report or --callouts";
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
  if (const std::string error = cliReadModel(args, model); !error.empty())
    return cliFail(error);

  // The tolerances the rows are judged against follow the rule of every command; the rows
  // are those of --annotations only (read once, with those settings), not of the sidecar.
  CliDisplay shown;
  if (!cliDisplayShown(args, model, shown))
    return 1;
  const Annotations record = args.annotations.empty() ? Annotations{} : shown.record;
  const DisplaySettings &display = shown.settings;

  std::vector<BannerRecord> banners = record.banners;
  if (args.worst > 0) {
    WorstPointsRequest request;
    request.count = args.worst;
    request.spacing =
        args.spacing >= 0 ? args.spacing : defaultWorstPointSpacing(model.GetBoundingBox());
    request.lower = display.lowerTolerance;
    request.upper = display.upperTolerance;
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
      calloutRows(model, banners, record.distances, display.lowerTolerance, display.upperTolerance,
                  display.gradient);
  std::vector<std::string> inputs{args.file};
  if (!args.annotations.empty())
    inputs.push_back(args.annotations);
  const ExportResult written = writeCalloutCsv(args.output, rows, inputs);
  if (!written.ok)
    return cliFail(written.message);
  return 0;
}
