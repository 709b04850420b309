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
#include <utility>
#include <vector>

namespace {

// Page layout in points (1/72 inch), y down: A4 landscape.
constexpr double kPageWidth = 842, kPageHeight = 595, kMargin = 28;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
const QRectF kTitle(kMargin, kMargin, kContentWidth, 62);
const QRectF kPicture(kMargin, 98, 482, 330); // the snapshot's largest extent
const QRectF kStatistics(526, 98, kPageWidth - kMargin - 526, 196);
const QRectF kHistogram(526, 302, kPageWidth - kMargin - 526, 166);
constexpr double kDotsPerInch = 300;
constexpr double kOverlayPoints = 7.5; // text over the picture, as printed

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
             fm.elidedText(file.absoluteFilePath(), Qt::ElideMiddle, 275));

  const double upper = c.legend.upperTolerance, lower = c.legend.lowerTolerance;
  const QString tolerance = (upper > 0 ? QStringLiteral("+") : QString()) +
                            fittedNumber(upper, 3, 10) + QStringLiteral(" / ") +
                            fittedNumber(lower, 3, 10) + QStringLiteral(" mm");
  std::vector<std::pair<QString, QString>> fields = {
      {QStringLiteral("Date"), c.created.toString(QStringLiteral("yyyy-MM-dd HH:mm"))},
      {QStringLiteral("Points"), countText(std::size_t(std::max(0LL, c.points)))},
      {QStringLiteral("Tolerance"), tolerance},
  };
  // Where the tolerances came from, on the line below them (a row without a key spans its
  // column).
  if (!c.toleranceSource.empty())
    fields.push_back({QString(), '(' + QString::fromStdString(c.toleranceSource) + ')'});
  fields.insert(fields.end(),
                {{QStringLiteral("Triangles"), countText(std::size_t(std::max(0LL, c.triangles)))},
                 {QStringLiteral("Units"), QStringLiteral("mm")},
                 {QStringLiteral("Program"), QStringLiteral("VelmoraViewer " VELMORA_VERSION)}});
  for (const auto &[key, value] :
       {std::pair{"Part", &c.part}, std::pair{"Lot", &c.lot},
        std::pair{"Operator", &c.operatorName}, std::pair{"Approved by", &c.approvedBy}})
    if (!value->empty())
      fields.push_back({QString::fromLatin1(key), qs(*value)});
  // Four rows a column, three columns right of the file's name.
  const QFont key = reportFont(8.5, true), value = reportFont(8.5);
  const QFontMetricsF valueMetrics(value, p.device()), keyMetrics(key, p.device());
  constexpr double kColumn = 165;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    // Each column's values start after its widest key.
    double keyWidth = 0;
    for (std::size_t k = i / 4 * 4; k < std::min(fields.size(), i / 4 * 4 + 4); ++k)
      keyWidth = std::max(keyWidth, keyMetrics.horizontalAdvance(fields[k].first) + 6);
    const double x = kTitle.left() + 290 + double(i / 4) * kColumn;
    const double y = kTitle.top() + 16 + double(i % 4) * 12;
    p.setFont(key);
    p.drawText(QPointF(x, y), fields[i].first);
    p.setFont(value);
    const double indent = fields[i].first.isEmpty() ? 0 : keyWidth;
    p.drawText(QPointF(x + indent, y),
               valueMetrics.elidedText(fields[i].second, Qt::ElideRight, kColumn - indent - 6));
  }
  p.restore();
}

// "Page i / n" centred below the bottom margin.
void paintPageNumber(QPainter &p, int page, int pages) {
  p.save();
  const QFont font = reportFont(7.5);
  p.setFont(font);
  p.setPen(Qt::black);
  const QString text = QStringLiteral("Page %1 / %2").arg(page).arg(pages);
  const QFontMetricsF fm(font, p.device());
  p.drawText(QPointF((kPageWidth - fm.horizontalAdvance(text)) / 2, kPageHeight - 12), text);
  p.restore();
}

// The window's scale bar and axis triad over the picture, drawn here at print size (the
// frame was drawn without them: at 300 dpi its pixel-sized labels would be unreadable). Both
// sit at the bottom, where the view's background is light, in black as the window has them.
void paintPictureOverlays(QPainter &p, const QRectF &shot, double pixels, const ReportContent &c) {
  p.save();
  const QFont font = reportFont(kOverlayPoints);
  p.setFont(font);
  const QFontMetricsF fm(font, p.device());
  // Scale bar, bottom right: a round length of about a tenth of the picture's width.
  const double span = pixels * c.mmPerPixel; // mm across the picture at the model's centre
  if (span > 0 && std::isfinite(span)) {
    const double t = span / 10, step = std::pow(10.0, std::floor(std::log10(t)));
    const double length = std::floor(t / step) * step;
    const double bar = shot.width() * length / span;
    const QString text = QString::number(length, 'g', 6) + QStringLiteral(" mm");
    const double w = std::max(bar, fm.horizontalAdvance(text)) + 8;
    const QRectF frame(shot.right() - w - 6, shot.bottom() - fm.height() - 14, w, fm.height() + 8);
    p.setPen(QPen(Qt::black, 1.0));
    const double y = frame.bottom() - 4;
    p.drawLine(QPointF(frame.right() - 4 - bar, y), QPointF(frame.right() - 4, y));
    p.drawText(QPointF(frame.right() - 4 - fm.horizontalAdvance(text), y - 3), text);
  }
  // Axis triad, bottom left, turned as the model: world axis i points along column i.
  const double arm = 22;
  const double side = 2 * arm + 2 * fm.height();
  const QRectF frame(shot.left() + 6, shot.bottom() - side - 6, side, side);
  const QPointF origin = frame.center();
  const char *names[3] = {"X", "Y", "Z"};
  const QColor colours[3] = {QColor(255, 0, 0), QColor(0, 160, 0), QColor(0, 0, 255)};
  for (int i = 0; i < 3; ++i) {
    const QPointF dir(c.rotation[std::size_t(i) * 4], -c.rotation[std::size_t(i) * 4 + 1]);
    const QPointF tip = origin + dir * arm;
    p.setPen(QPen(colours[i], 1.2));
    p.drawLine(origin, tip);
    p.setPen(Qt::black);
    const QString name = QString::fromLatin1(names[i]);
    // An axis pointing at the viewer has no length on the page: its name goes beside the
    // origin instead of on it.
    const double shown = std::hypot(dir.x(), dir.y());
    const QPointF at = shown < 0.3 ? origin + QPointF(-0.45, 0.45) * arm
                                   : origin + dir * (arm + fm.height() * 0.45);
    p.drawText(QPointF(at.x() - fm.horizontalAdvance(name) / 2, at.y() + fm.ascent() / 2 - 1),
               name);
  }
  p.restore();
}

// The callout table's row height, its heading's height and where a page's rows end.
struct CalloutLayout {
  double row, heading, bottom;
  explicit CalloutLayout(const QPaintDevice *device)
      : row(QFontMetricsF(reportFont(8), device).height() * 1.35), heading(16 + row),
        bottom(kPageHeight - kMargin) {}
  // Pages the report takes when the table starts at top of the first page.
  int pages(double top, std::size_t rows) const {
    int n = 1;
    double y = top + heading;
    for (std::size_t i = 0; i < rows; ++i) {
      if (y + row > bottom) {
        ++n;
        y = kMargin + heading;
      }
      y += row;
    }
    return n;
  }
};

// The callout table from top down to the bottom margin, continued on new pages, each
// numbered.
void paintCallouts(QPdfWriter &writer, QPainter &p, double top, const ReportContent &c, int pages) {
  const QFont font = reportFont(8), bold = reportFont(8, true);
  const QFontMetricsF fm(font, p.device());
  const CalloutLayout layout(p.device());
  const double row = layout.row, bottom = layout.bottom;
  int page = 1;
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
    return std::isfinite(v) ? fittedNumber(v, 4, 12) : QStringLiteral("n/a");
  };
  for (std::size_t i = 0; i < c.callouts.size(); ++i) {
    if (y + row > bottom) {
      writer.newPage();
      paintPageNumber(p, ++page, pages);
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

ReportContent reportContentFor(const SessionModel &model, bool measured,
                               const DisplaySettings &legend) {
  const double lower = legend.lowerTolerance, upper = legend.upperTolerance;
  ReportContent c;
  c.sessionPath = model.path;
  c.inputs = {model.path};
  c.points = model.pointCount;
  c.triangles = model.triangleCount > 0 ? model.triangleCount : 0;
  c.legend = legend;
  if (measured) {
    const ColourScale scale = reportHistogramScale(legend);
    const std::size_t n =
        std::min(model.deviations.size(), std::size_t(std::max(0, model.pointCount)));
    c.stats = DeviationStats::compute(model.deviations.data(), n, lower, upper, &scale);
  }
  return c;
}

ColourScale reportHistogramScale(const DisplaySettings &legend) { return legendScale(legend); }

bool reportPasses(const DeviationStats &s, double acceptPercent) {
  if (!s.hasValues())
    return false;
  if (acceptPercent >= 100)
    return s.countInside == s.finite;
  // Whole counts: at least P % of n, without rounding a share up into a pass.
  return double(s.countInside) * 100 >= acceptPercent * double(s.finite);
}

std::string reportVerdict(const DeviationStats &s, double lower, double upper,
                          double acceptPercent) {
  if (!s.hasValues())
    return "No verdict: no measured deviations to judge.";
  const QString rule = acceptPercent >= 100
                           ? QStringLiteral("every point inside required")
                           : QStringLiteral("at least %1 % required").arg(acceptPercent, 0, 'g', 6);
  const QString text =
      QStringLiteral("%1: %2 inside (%3). %4 of %5 measured points lie inside the tolerance (%6 "
                     "mm to %7 mm); %8 above, %9 below.")
          .arg(reportPasses(s, acceptPercent) ? QStringLiteral("PASS") : QStringLiteral("FAIL"),
               percentText(s.countInside, s.finite), rule,
               s.countInside == 0 ? QStringLiteral("None") : countText(s.countInside),
               countText(s.finite), fittedNumber(lower, 3, 10), fittedNumber(upper, 3, 10),
               shareText(s.countAbove, s.finite), shareText(s.countBelow, s.finite));
  return text.toStdString();
}

bool isReportField(const std::string &name) {
  ReportContent probe;
  return setReportField(probe, name, {});
}

bool setReportField(ReportContent &c, const std::string &name, const std::string &value) {
  std::string *field = name == "part"          ? &c.part
                       : name == "lot"         ? &c.lot
                       : name == "operator"    ? &c.operatorName
                       : name == "approved-by" ? &c.approvedBy
                                               : nullptr;
  if (field)
    *field = value;
  return field != nullptr;
}

ExportResult writeInspectionReport(const std::string &target, const ReportContent &c) {
  for (const std::string &input : c.inputs)
    if (const std::string problem = targetIsInputProblem(target, input); !problem.empty())
      return ExportResult::failure(problem);
  if (c.points <= 0)
    return ExportResult::failure(target + ": the model has no points");
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
    paintPictureOverlays(p, shot, picture.width(), c);
    const QRectF legend(shot.left(), shot.bottom() + 8, shot.width(), 26);
    paintLegendStrip(p, legend, c.legend, reportFont(7.5));

    paintStatisticsTable(p, kStatistics, c.stats);
    paintHistogram(p, kHistogram, c.stats, c.legend);

    const double verdictTop = std::max(legend.bottom(), kHistogram.bottom()) + 8;
    p.setFont(reportFont(10, true));
    const QRectF verdict(kMargin, verdictTop, kContentWidth, 28);
    QRectF used;
    p.drawText(verdict, Qt::TextWordWrap,
               qs(reportVerdict(c.stats, c.legend.lowerTolerance, c.legend.upperTolerance,
                                c.acceptPercent)),
               &used);
    const double tableTop = used.bottom() + 8;
    const int pages =
        c.haveCallouts ? CalloutLayout(p.device()).pages(tableTop, c.callouts.size()) : 1;
    paintPageNumber(p, 1, pages);
    if (c.haveCallouts)
      paintCallouts(writer, p, tableTop, c, pages);
    if (!p.end())
      return ExportResult::failure(target + ": the PDF page could not be finished");
  }

  AtomicFile file(target);
  file.write(bytes.constData(), std::size_t(bytes.size()));
  if (!file.commit())
    return ExportResult::failure(file.error());
  return ExportResult::success();
}
