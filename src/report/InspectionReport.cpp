#include "report/InspectionReport.h"

#include "analysis/ColourScale.h"
#include "io/AtomicFile.h"
#include "report/DeviationPainters.h"
#include "report/ReportFonts.h"
#include "report/ReportText.h"
#include "session/SessionModel.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

namespace {

// Page layout in points (1/72 inch), y down: A4 landscape.
constexpr double kPageWidth = 842, kPageHeight = 595, kMargin = 28;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
const QRectF kTitle(kMargin, kMargin, kContentWidth, 62);
const QRectF kPicture(kMargin, 98, 482, 330); // the snapshot's largest extent
const QRectF kStatistics(526, 98, kPageWidth - kMargin - 526, 196);
const QRectF kHistogram(526, 302, kPageWidth - kMargin - 526, 166);
constexpr double kDotsPerInch = 300;

QString qs(const std::string &s) { return QString::fromStdString(s); }

void paintTitle(QPainter &p, const ReportContent &c) {
  p.save();
  p.setPen(QPen(QColor(120, 120, 120), 0.6));
  p.drawRect(kTitle);
  p.setPen(Qt::black);
  const QFileInfo file(QString::fromLocal8Bit(c.sessionPath.c_str()));
  p.setFont(reportFont(15, true));
  p.drawText(QPointF(kTitle.left() + 8, kTitle.top() + 20), QStringLiteral("Inspection report"));
  p.setFont(reportFont(11, true));
  p.drawText(QPointF(kTitle.left() + 8, kTitle.top() + 38), file.fileName());
  const QFont small = reportFont(7.5);
  p.setFont(small);
  const QFontMetricsF fm(small, p.device());
  p.drawText(QPointF(kTitle.left() + 8, kTitle.top() + 52),
             fm.elidedText(file.absoluteFilePath(), Qt::ElideMiddle, 330));

  const QString tolerance = millimetres(c.lower, 3) + QStringLiteral(" to ") +
                            millimetres(c.upper, 3) + QStringLiteral(" mm");
  const struct {
    const char *key;
    QString value;
  } fields[] = {
      {"Date", c.created.toString(QStringLiteral("yyyy-MM-dd HH:mm"))},
      {"Points", countText(std::size_t(std::max(0LL, c.points)))},
      {"Triangles", countText(std::size_t(std::max(0LL, c.triangles)))},
      {"Tolerance", tolerance},
      {"Units", QStringLiteral("mm")},
      {"Program", QStringLiteral("VelmoraViewer " VELMORA_VERSION)},
  };
  p.setFont(reportFont(8.5));
  for (int i = 0; i < 6; ++i) {
    const double x = kTitle.left() + (i < 3 ? 380 : 590);
    const double y = kTitle.top() + 18 + (i % 3) * 15;
    p.setFont(reportFont(8.5, true));
    p.drawText(QPointF(x, y), QString::fromLatin1(fields[i].key));
    p.setFont(reportFont(8.5));
    p.drawText(QPointF(x + 62, y), fields[i].value);
  }
  p.restore();
}

// The callout table from top down to the bottom margin, continued on new pages.
void paintCallouts(QPdfWriter &writer, QPainter &p, double top, const ReportContent &c) {
  const QFont font = reportFont(8), bold = reportFont(8, true);
  const QFontMetricsF fm(font, p.device());
  const double row = fm.height() * 1.35, bottom = kPageHeight - kMargin;
  struct Column {
    const char *title;
    double width;
    bool number;
  };
  const Column columns[] = {{"ID", 44, false},    {"X", 72, true},         {"Y", 72, true},
                            {"Z", 72, true},      {"Deviation", 72, true}, {"Status", 50, false},
                            {"Comment", 0, false}};
  const auto cells = [&](double y, const QString(&text)[7], bool header) {
    p.setFont(header ? bold : font);
    double x = kMargin;
    for (int i = 0; i < 7; ++i) {
      const double w = columns[i].width > 0 ? columns[i].width : kPageWidth - kMargin - x;
      const QString t = fm.elidedText(text[i], Qt::ElideRight, w - 8);
      const double tx = columns[i].number
                            ? x + w - 6 - QFontMetricsF(p.font(), p.device()).horizontalAdvance(t)
                            : x + 4;
      p.drawText(QPointF(tx, y + (row + fm.ascent() - fm.descent()) / 2), t);
      x += w;
    }
  };
  const auto heading = [&](double y, const QString &title) {
    p.setFont(reportFont(10, true));
    p.drawText(QPointF(kMargin, y + 11), title);
    y += 16;
    const QString names[7] = {"ID", "X", "Y", "Z", "Deviation", "Status", "Comment"};
    p.fillRect(QRectF(kMargin, y, kContentWidth, row), QColor(225, 225, 225));
    cells(y, names, true);
    return y + row;
  };
  double y = heading(top, QStringLiteral("Callouts (mm)"));
  if (c.callouts.empty()) {
    p.setFont(font);
    p.drawText(QPointF(kMargin + 4, y + row * 0.8), QStringLiteral("No callouts."));
    return;
  }
  const auto number = [](double v) {
    return std::isfinite(v) ? millimetres(v) : QStringLiteral("n/a");
  };
  for (std::size_t i = 0; i < c.callouts.size(); ++i) {
    if (y + row > bottom) {
      writer.newPage();
      y = heading(kMargin, QStringLiteral("Callouts (mm), continued"));
    }
    const CalloutRow &r = c.callouts[i];
    const QString text[7] = {qs(r.id),     number(r.x),         number(r.y),
                             number(r.z),  number(r.deviation), qs(r.status),
                             qs(r.comment)};
    if (i % 2 == 1)
      p.fillRect(QRectF(kMargin, y, kContentWidth, row), QColor(242, 242, 242));
    cells(y, text, false);
    y += row;
  }
}

} // namespace

QSize reportSnapshotSize(double aspect) {
  if (!(aspect > 0) || !std::isfinite(aspect))
    aspect = 1.5;
  double w = kPicture.width(), h = w / aspect;
  if (h > kPicture.height()) {
    h = kPicture.height();
    w = h * aspect;
  }
  return {int(std::lround(w / 72 * kDotsPerInch)), int(std::lround(h / 72 * kDotsPerInch))};
}

ReportContent reportContentFor(const SessionModel &model, bool measured, double lower, double upper,
                               const LegendSettings &legend) {
  ReportContent c;
  c.sessionPath = model.path;
  c.inputs = {model.path};
  c.points = model.pointCount;
  c.triangles = model.triangleCount > 0 ? model.triangleCount : 0;
  c.lower = lower;
  c.upper = upper;
  c.legend = legend;
  if (measured) {
    const ColourScale scale = reportHistogramScale(legend);
    const std::size_t n =
        std::min(model.deviations.size(), std::size_t(std::max(0, model.pointCount)));
    c.stats = DeviationStats::compute(model.deviations.data(), n, lower, upper, &scale);
  }
  return c;
}

ColourScale reportHistogramScale(const LegendSettings &legend) {
  return ColourScale(legend.upper, legend.lower, legend.bars, 0, legend.gradient, legend.extended);
}

std::string reportVerdict(const DeviationStats &s, double lower, double upper) {
  const QString band = QStringLiteral("the tolerance (") + millimetres(lower, 3) +
                       QStringLiteral(" mm to ") + millimetres(upper, 3) + QStringLiteral(" mm)");
  QString text;
  if (!s.hasValues())
    text = QStringLiteral("Verdict: no measured deviations to judge.");
  else if (s.countInside == s.finite)
    text = QStringLiteral("Verdict: all %1 measured points lie inside %2.")
               .arg(countText(s.finite), band);
  else
    text = QStringLiteral("Verdict: %1 of %2 measured points (%3) lie inside %4; %5 above, %6 "
                          "below.")
               .arg(s.countInside == 0 ? QStringLiteral("none") : countText(s.countInside),
                    countText(s.finite), percentText(s.countInside, s.finite), band,
                    shareText(s.countAbove, s.finite), shareText(s.countBelow, s.finite));
  return text.toStdString();
}

ExportResult writeInspectionReport(const std::string &target, const ReportContent &c) {
  for (const std::string &input : c.inputs)
    if (const std::string problem = targetIsInputProblem(target, input); !problem.empty())
      return ExportResult::failure(problem);
  if (c.snapshot.isNull())
    return ExportResult::failure(target + ": the report has no picture of the view");

  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    // Archivable: fonts embedded, no transparency, no attachments.
    writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    setUpA4LandscapePage(writer);
    const QString name = QFileInfo(QString::fromLocal8Bit(c.sessionPath.c_str())).fileName();
    writer.setTitle(QStringLiteral("Inspection report: ") + name);
    writer.setCreator(QStringLiteral("VelmoraViewer " VELMORA_VERSION));
    QPainter p;
    if (!p.begin(&writer))
      return ExportResult::failure(target + ": the PDF page could not be started");
    p.setRenderHint(QPainter::LosslessImageRendering);
    paintTitle(p, c);

    // The snapshot at its printed size: 300 pixels per inch.
    const QImage picture = c.snapshot.convertToFormat(QImage::Format_RGB32);
    const QRectF shot(kPicture.left(), kPicture.top(), picture.width() * 72 / kDotsPerInch,
                      picture.height() * 72 / kDotsPerInch);
    p.drawImage(shot, picture);
    p.setPen(QPen(QColor(120, 120, 120), 0.5));
    p.drawRect(shot);
    p.setPen(Qt::black);
    const QRectF legend(shot.left(), shot.bottom() + 8, shot.width(), 26);
    paintLegendStrip(p, legend, c.legend, reportFont(7.5));

    paintStatisticsTable(p, kStatistics, c.stats);
    paintHistogram(p, kHistogram, c.stats, c.legend);

    const double verdictTop = std::max(legend.bottom(), kHistogram.bottom()) + 8;
    p.setFont(reportFont(10, true));
    const QRectF verdict(kMargin, verdictTop, kContentWidth, 28);
    QRectF used;
    p.drawText(verdict, Qt::TextWordWrap, qs(reportVerdict(c.stats, c.lower, c.upper)), &used);
    if (c.haveCallouts)
      paintCallouts(writer, p, used.bottom() + 8, c);
    if (!p.end())
      return ExportResult::failure(target + ": the PDF page could not be finished");
  }

  AtomicFile file(target);
  file.write(bytes.constData(), std::size_t(bytes.size()));
  if (!file.commit())
    return ExportResult::failure(file.error());
  return ExportResult::success();
}
