// The inspection report: an archivable PDF/A-1b page that holds what the engineer needs to
// read (file, counts, tolerances, statistics, verdict, callouts over further pages) and to
// see (the snapshot at its size, the legend's colours), and its refusals.
#include "analysis/ColourScale.h"
#include "export/support/TempDir.h"
#include "report/InspectionReport.h"
#include "report/ReportText.h"
#include "support/PdfProbe.h"

#include <QPainter>
#include <cstdio>
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <tuple>

using namespace exporttest;
using namespace reporttest;

namespace {

DisplaySettings legendOf(double upper, double lower, int bars) {
  DisplaySettings d;
  d.upperTolerance = upper;
  d.lowerTolerance = lower;
  d.colourBars = bars;
  return d;
}
const DisplaySettings kLegend = legendOf(0.2, -0.1, 5);

// 100 measured values: 90 inside the band, 6 above, 4 below.
std::vector<float> deviations() {
  std::vector<float> v;
  for (int i = 0; i < 90; ++i)
    v.push_back(-0.095f + 0.29f * float(i) / 89.0f);
  for (int i = 0; i < 6; ++i)
    v.push_back(0.25f + 0.01f * float(i));
  for (int i = 0; i < 4; ++i)
    v.push_back(-0.3f);
  return v;
}

ReportContent content(const std::string &session, std::size_t callouts) {
  ReportContent c;
  c.sessionPath = session;
  c.inputs = {session};
  c.created = QDateTime(QDate(2026, 5, 4), QTime(13, 7));
  c.points = 12345;
  c.triangles = 24000;
  c.legend = kLegend;
  c.snapshot = QImage(reportSnapshotSize(1.5), QImage::Format_RGB32);
  c.snapshot.fill(qRgb(128, 128, 128));
  QPainter(&c.snapshot).fillRect(600, 400, 800, 500, QColor(0, 160, 0));
  const std::vector<float> values = deviations();
  const ColourScale scale = reportHistogramScale(kLegend);
  c.stats = DeviationStats::compute(values.data(), values.size(), c.legend.lowerTolerance,
                                    c.legend.upperTolerance, &scale);
  c.haveCallouts = true;
  for (std::size_t i = 1; i <= callouts; ++i) {
    CalloutRow &r = c.callouts.emplace_back();
    r.id = "B" + std::to_string(i);
    std::tie(r.x, r.y, r.z, r.deviation) = std::tuple(1.5 * double(i), -2.0, 0.25, 0.21);
    r.status = "above";
    r.comment = i == 1 ? "burr, \"left\" edge" : "";
  }
  return c;
}

} // namespace

// Valid PDF/A-1b; the text names the file, the date, the counts and the verdict; the
// snapshot sits at 300 dpi of its printed size; the legend shows its red and blue; a long
// callout table goes on to a second page.
TEST(InspectionReport, ArchivableReportWithEverythingOnIt) {
  TempDir dir;
  const std::string session = dir.file("bracket.ses"), pdf = dir.file("report.pdf");
  writeWholeFile(session, "input");
  const ReportContent c = content(session, 40);
  const ExportResult r = writeInspectionReport(pdf, c);
  ASSERT_TRUE(r.ok) << r.message;

  std::string output;
  EXPECT_TRUE(qpdfCheckClean(pdf, output)) << output;
  EXPECT_TRUE(preflightA1b(pdf, output)) << output;

  const std::string text = pdfText(pdf);
  for (const char *expected :
       {"bracket.ses", "2026-05-04 13:07", "12,345", "24,000", "VelmoraViewer",
        "+0.200 / -0.100 mm", "FAIL: 90.0 % inside (every point inside required)",
        "90 of 100 measured points lie", "6 (6.0 %)", "Page 1 / 2", "Page 2 / 2", "4 (4.0 %) below",
        "B1", "B40", "burr, \"left\" edge"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2) << "two pages";

  QPDF read;
  read.processFile(pdf.c_str());
  bool fullSize = false;
  for (QPDFObjectHandle &o : read.getAllObjects())
    if (o.isStream() && o.getDict().getKey("/Subtype").isNameAndEquals("/Image"))
      fullSize = fullSize || (o.getDict().getKey("/Width").getIntValue() == c.snapshot.width() &&
                              o.getDict().getKey("/Height").getIntValue() == c.snapshot.height());
  EXPECT_TRUE(fullSize) << "the snapshot is embedded with every pixel";

  // At 50 dpi: the picture area (from 28, 98 pt) shows the snapshot, the legend below it its
  // blue first and red last bar.
  const QImage page = renderPage(pdf, 50);
  ASSERT_FALSE(page.isNull());
  const double k = 50.0 / 72.0;
  const QRect picture(int(40 * k), int(110 * k), int(450 * k), int(290 * k));
  EXPECT_GT(countNear(page, picture, qRgb(128, 128, 128), 6),
            picture.width() * picture.height() / 2);
  EXPECT_GT(countNear(page, picture, qRgb(0, 160, 0), 6), 100);
  const QRect legend(int(28 * k), int(425 * k), int(482 * k), int(30 * k));
  EXPECT_GT(countNear(page, legend, qRgb(0, 0, 255), 10), 30);
  EXPECT_GT(countNear(page, legend, qRgb(255, 0, 0), 10), 30);
}

// PASS or FAIL by either rule, with the shares; shares never round to none or all when they
// are not; a share just short of the rule fails.
TEST(InspectionReport, VerdictAndShares) {
  DeviationStats s;
  EXPECT_EQ(reportVerdict(s, -0.1, 0.1), "No verdict: no measured deviations to judge.");
  EXPECT_FALSE(reportPasses(s, 50));
  s.finite = s.count = s.countInside = 1500;
  EXPECT_EQ(reportVerdict(s, -0.1, 0.1).substr(0, 49),
            "PASS: 100 % inside (every point inside required).");
  s.finite = s.count = 10000;
  s.countInside = 0;
  s.countAbove = 9999;
  s.countBelow = 1;
  EXPECT_EQ(reportVerdict(s, -0.1, 0.1, 95),
            "FAIL: 0 % inside (at least 95 % required). None of 10,000 measured points lie inside "
            "the tolerance (-0.100 mm to 0.100 mm); 9,999 (> 99.9 %) above, 1 (< 0.1 %) below.");
  s.countInside = 9820;
  s.countAbove = 180;
  s.countBelow = 0;
  EXPECT_EQ(reportVerdict(s, -0.1, 0.1, 95).substr(0, 44),
            "PASS: 98.2 % inside (at least 95 % required)");
  EXPECT_EQ(reportVerdict(s, -0.1, 0.1, 98.21).substr(0, 47),
            "FAIL: 98.2 % inside (at least 98.21 % required)");
  EXPECT_TRUE(reportPasses(s, 98.2));
  EXPECT_FALSE(reportPasses(s, 100));
  EXPECT_EQ(percentText(999, 1000), "99.9 %");
  EXPECT_EQ(percentText(1, 3), "33.3 %");
  EXPECT_EQ(percentText(0, 0), "0 %");
  EXPECT_EQ(millimetres(-0.00001), "0.0000");
  // Extreme values go scientific rather than past their column.
  EXPECT_EQ(fittedNumber(-0.25, 4, 10), "-0.2500");
  EXPECT_EQ(fittedNumber(1e12, 4, 10), "1.00e+12");
  EXPECT_EQ(fittedNumber(-9999999.123, 4, 10), "-1.00e+07");
}

// The title block's optional fields (empty ones left out), "Page i / n" on each page, the
// scale bar and axis names over the picture at print size, extreme values in scientific
// notation; a model without points is refused.
TEST(InspectionReport, FieldsPageNumbersOverlaysAndExtremes) {
  TempDir dir;
  const std::string session = dir.file("bracket.ses"), pdf = dir.file("report.pdf");
  writeWholeFile(session, "input");
  ReportContent c = content(session, 40);
  for (const auto &[name, value] : {std::pair{"part", "P-1138"}, std::pair{"lot", "L7"},
                                    std::pair{"operator", ""}, std::pair{"approved-by", "Q. Ng"}})
    EXPECT_TRUE(setReportField(c, name, value)) << name;
  EXPECT_FALSE(setReportField(c, "customer", "x"));
  c.mmPerPixel = 0.02;
  c.acceptPercent = 90;
  const std::vector<float> extreme = {1e12f, -9999999.123f, 0.0f};
  const ColourScale scale = reportHistogramScale(kLegend);
  c.stats = DeviationStats::compute(extreme.data(), extreme.size(), c.legend.lowerTolerance,
                                    c.legend.upperTolerance, &scale);
  ASSERT_TRUE(writeInspectionReport(pdf, c).ok);
  std::string output;
  EXPECT_TRUE(preflightA1b(pdf, output)) << output;
  const std::string text = pdfText(pdf);
  for (const char *expected : {"Part", "P-1138", "Lot", "L7", "Approved by", "Q. Ng", "Page 1 / 2",
                               "Page 2 / 2", "1.00e+12", "-1.00e+07", "FAIL:"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  EXPECT_EQ(text.find("Operator"), std::string::npos);

  // Word boxes in points: the overlay words inside the picture are at least 7 pt tall.
  int status = -1;
  const std::string boxes =
      runCommand("pdftotext -f 1 -l 1 -bbox " + shellQuote(pdf) + " -", status);
  int overlayWords = 0;
  for (std::size_t at = boxes.find("<word "); at != std::string::npos;
       at = boxes.find("<word ", at + 1)) {
    double x0, y0, x1, y1;
    char word[64] = {};
    if (std::sscanf(boxes.c_str() + at,
                    "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\">%63[^<]", &x0, &y0,
                    &x1, &y1, word) != 5 ||
        x1 > 28 + 482 || y0 < 98 || y1 > 98 + 322)
      continue;
    ++overlayWords;
    EXPECT_GE(y1 - y0, 7.0) << word;
  }
  EXPECT_GE(overlayWords, 4) << "X, Y, Z and the scale's length\n" << boxes;

  c.points = 0;
  const ExportResult empty = writeInspectionReport(dir.file("empty.pdf"), c);
  EXPECT_FALSE(empty.ok);
  EXPECT_NE(empty.message.find("the model has no points"), std::string::npos) << empty.message;
}

// Refused without writing: the target is the measured file, there is no picture, the folder
// does not exist. An existing report stays as it was.
TEST(InspectionReport, FailuresKeepFilesAndNameTheTarget) {
  TempDir dir;
  const std::string session = dir.file("bracket.ses"), keep = dir.file("keep.pdf");
  writeWholeFile(session, "input");
  writeWholeFile(keep, "old");
  ReportContent c = content(session, 0);
  EXPECT_FALSE(writeInspectionReport(session, c).ok);
  const ExportResult folder = writeInspectionReport(dir.file("none/r.pdf"), c);
  EXPECT_FALSE(folder.ok);
  EXPECT_NE(folder.message.find("none/r.pdf"), std::string::npos) << folder.message;
  c.snapshot = QImage();
  const ExportResult blind = writeInspectionReport(keep, c);
  EXPECT_FALSE(blind.ok);
  EXPECT_NE(blind.message.find(keep), std::string::npos) << blind.message;
  EXPECT_EQ(readWholeFile(keep), "old");
  EXPECT_EQ(readWholeFile(session), "input");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bracket.ses", "keep.pdf"}));
}
