#pragma once
#include "analysis/DeviationStats.h"
#include "io/ExportResult.h"
#include "records/CalloutTable.h"
#include "report/LegendPainter.h"

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <array>
#include <string>
#include <vector>

class SessionModel;

// Everything one inspection report shows, gathered by the caller from a view.
struct ReportContent {
  std::string sessionPath;         // the measured file: its name heads the report
  std::vector<std::string> inputs; // every file read (the report never lands on one)
  QDateTime created = QDateTime::currentDateTime();
  long long points = 0, triangles = 0;
  DisplaySettings legend; // the view's settings: the tolerance band (mm) and colour legend
  // Where the tolerances came from, printed after them: "from NAME.json", "default",
  // "command line"; empty: nothing printed (the window's own settings).
  std::string toleranceSource;
  // The view drawn at reportSnapshotSize() of its aspect, with legend, axes and scale.
  QImage snapshot;
  // Statistics of the deviations against the band, with the counts of the legend's entries
  // (a standard-layout scale: below, the bars, above).
  DeviationStats stats;
  bool haveCallouts = false;        // a callout table applies (possibly with no rows)
  std::vector<CalloutRow> callouts; // as the callout list shows them
  // The acceptance rule: the part passes when at least this share of its measured points
  // (percent, 0 < P <= 100) lies inside the band; 100 means every point.
  double acceptPercent = 100;
  // Optional title-block fields, printed when not empty.
  std::string part, lot, operatorName, approvedBy;
  // The view's camera for the overlays the report paints over the picture at print scale:
  // millimetres per snapshot pixel at the model's centre (0: no scale bar) and the turn of
  // the model (OpenGL column-major; world axes as seen on screen).
  double mmPerPixel = 0;
  std::array<double, 16> rotation{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// The header fields --field NAME=VALUE may set: part, lot, operator, approved-by. False
// when name is none of them.
bool setReportField(ReportContent &content, const std::string &name, const std::string &value);
bool isReportField(const std::string &name);

// The content a model gives the report: its file (the first input), counts, the band, the
// legend and the statistics of its deviations over the legend's entries (none when
// measured is false: a point text file has no deviations). The caller adds the snapshot and
// the callouts.
ReportContent reportContentFor(const SessionModel &model, bool measured,
                               const DisplaySettings &legend);

// Pixel size of the report's snapshot for a view of this width / height: the largest such
// rectangle in the page's picture area, at 300 dots per inch of its printed size.
QSize reportSnapshotSize(double aspect);

// The standard-layout colour scale whose entries the report's histogram counts: the
// legend's bars and the entries below and above them.
ColourScale reportHistogramScale(const DisplaySettings &legend);

// Whether the part passes the acceptance rule: at least acceptPercent of the measured points
// inside (every one for 100). False without measured points.
bool reportPasses(const DeviationStats &stats, double acceptPercent);

// The verdict line: PASS or FAIL with the share inside and the rule, then the band and the
// shares above and below.
std::string reportVerdict(const DeviationStats &stats, double lower, double upper,
                          double acceptPercent = 100);

// Writes the inspection report as PDF/A-1b: one A4 landscape page with the title block
// (file, date, counts, tolerances, units, program and version), the snapshot, the colour
// legend, the statistics table, the histogram with the tolerance limits, the verdict and the
// callout table, which continues on further pages when it needs them. Fonts are embedded and
// nothing is transparent. Refused when target is one of the inputs; the target is replaced
// only by a complete file, and a failure names the file and the reason.
ExportResult writeInspectionReport(const std::string &target, const ReportContent &content);
