#include "report/DeviationPainters.h"

#include "analysis/DeviationStats.h"
#include "report/LegendPainter.h"
#include "report/ReportFonts.h"
#include "report/ReportText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <utility>
#include <vector>

namespace {
const QColor kRule(150, 150, 150);
const QColor kShade(238, 238, 238);
} // namespace

void paintStatisticsTable(QPainter &p, const QRectF &area, const DeviationStats &s) {
  std::vector<std::pair<QString, QString>> rows;
  const auto mm = [](double v) { return fittedNumber(v, 4, 10); };
  rows.push_back({QStringLiteral("Measured points"), countText(s.finite)});
  if (s.count != s.finite)
    rows.push_back({QStringLiteral("Points without a deviation"), countText(s.count - s.finite)});
  if (s.hasValues()) {
    rows.push_back({QStringLiteral("Minimum"), mm(s.min)});
    rows.push_back({QStringLiteral("Maximum"), mm(s.max)});
    rows.push_back({QStringLiteral("Mean"), mm(s.mean)});
    rows.push_back({QStringLiteral("Standard deviation"), mm(s.stddev)});
    rows.push_back({QStringLiteral("RMS"), mm(s.rms)});
    rows.push_back({QStringLiteral("Median"), mm(s.median)});
    rows.push_back({QStringLiteral("1st / 99th percentile"), mm(s.p01) + " / " + mm(s.p99)});
    rows.push_back({QStringLiteral("5th / 95th percentile"), mm(s.p05) + " / " + mm(s.p95)});
  }
  rows.push_back({QStringLiteral("Inside the tolerance"), shareText(s.countInside, s.finite)});
  rows.push_back({QStringLiteral("Above the tolerance"), shareText(s.countAbove, s.finite)});
  rows.push_back({QStringLiteral("Below the tolerance"), shareText(s.countBelow, s.finite)});

  p.save();
  const QFont font = reportFont(8.5);
  p.setFont(reportFont(10, true));
  const QFontMetricsF head(p.font(), p.device());
  p.drawText(QPointF(area.left(), area.top() + head.ascent()),
             QStringLiteral("Deviation statistics (mm)"));
  p.setFont(font);
  const QFontMetricsF fm(font, p.device());
  const double top = area.top() + head.height() * 1.3;
  const double rowHeight = std::min(fm.height() * 1.45, (area.bottom() - top) / rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const QRectF row(area.left(), top + i * rowHeight, area.width(), rowHeight);
    if (i % 2 == 0)
      p.fillRect(row, kShade);
    const double baseline = row.top() + (rowHeight + fm.ascent() - fm.descent()) / 2;
    p.setPen(Qt::black);
    p.drawText(QPointF(row.left() + 3, baseline), rows[i].first);
    p.drawText(QPointF(row.right() - 3 - fm.horizontalAdvance(rows[i].second), baseline),
               rows[i].second);
  }
  p.setPen(QPen(kRule, 0.5));
  p.drawLine(QPointF(area.left(), top), QPointF(area.right(), top));
  p.drawLine(QPointF(area.left(), top + rows.size() * rowHeight),
             QPointF(area.right(), top + rows.size() * rowHeight));
  p.restore();
}

void paintHistogram(QPainter &p, const QRectF &area, const DeviationStats &s,
                    const DisplaySettings &legend) {
  p.save();
  p.setFont(reportFont(10, true));
  const QFontMetricsF head(p.font(), p.device());
  p.drawText(QPointF(area.left(), area.top() + head.ascent()),
             QStringLiteral("Histogram of the deviations"));
  const QFont font = reportFont(7.5);
  p.setFont(font);
  const QFontMetricsF fm(font, p.device());
  const std::vector<BandCount> &bands = s.bands;
  if (!s.hasValues() || bands.size() < 3) {
    p.drawText(QPointF(area.left(), area.top() + head.height() * 2),
               QStringLiteral("No measured deviations."));
    p.restore();
    return;
  }
  const std::size_t inner = bands.size() - 2;
  std::size_t highest = 1;
  for (const BandCount &b : bands)
    highest = std::max(highest, b.count);

  const QString topLabel = countText(highest);
  const double axis = fm.horizontalAdvance(topLabel) + 6;
  const QRectF plot(area.left() + axis, area.top() + head.height() * 1.3 + fm.height(),
                    area.width() - axis, area.height() - head.height() * 1.3 - fm.height() * 3.6);
  // Below, gap, the bars of the band, gap, above: the gaps are where the limits are.
  const double places = double(inner) + 2 + 2 * 0.8;
  const double w = plot.width() / places;
  const auto barLeft = [&](std::size_t i) {
    if (i == 0)
      return plot.left();
    if (i <= inner)
      return plot.left() + w * (1.8 + double(i - 1));
    return plot.right() - w;
  };
  const auto barHeight = [&](std::size_t count) {
    return plot.height() * double(count) / double(highest);
  };

  // The out-of-band bars carry their counts; the bars of the band only when every count fits.
  bool countsFit = true;
  for (std::size_t i = 1; i <= inner; ++i)
    countsFit = countsFit && fm.horizontalAdvance(countText(bands[i].count)) < w * 0.95;
  p.setPen(QPen(Qt::black, 0.4));
  for (std::size_t i = 0; i < bands.size(); ++i) {
    const double h = barHeight(bands[i].count);
    const QRectF bar(barLeft(i), plot.bottom() - h, w, h);
    p.setBrush(qcolour(bands[i].colour));
    if (h > 0)
      p.drawRect(bar);
    const QString n = countText(bands[i].count);
    if (i == 0 || i == bands.size() - 1 || countsFit)
      p.drawText(QPointF(bar.center().x() - fm.horizontalAdvance(n) / 2, bar.top() - 2), n);
  }
  p.setBrush(Qt::NoBrush);

  // Count axis.
  p.drawLine(QPointF(plot.left() - 3, plot.top()), QPointF(plot.left() - 3, plot.bottom()));
  for (const std::size_t tick : {std::size_t(0), highest / 2, highest}) {
    const double y = plot.bottom() - barHeight(tick);
    const QString t = countText(tick);
    p.drawLine(QPointF(plot.left() - 5, y), QPointF(plot.left() - 3, y));
    p.drawText(QPointF(plot.left() - 6 - fm.horizontalAdvance(t), y + fm.ascent() / 2 - 1), t);
  }
  p.drawLine(QPointF(plot.left() - 3, plot.bottom()), QPointF(plot.right(), plot.bottom()));

  // Tolerance limits: dashed lines in the gaps, their values below.
  QPen limit(QColor(160, 0, 0), 0.8, Qt::DashLine);
  const double lowerX = barLeft(1) - 0.4 * w, upperX = barLeft(inner) + w + 0.4 * w;
  const double textY = plot.bottom() + fm.ascent() + 2;
  for (const auto &[x, value] : {std::pair{lowerX, double(float(legend.lowerTolerance))},
                                 std::pair{upperX, double(float(legend.upperTolerance))}}) {
    p.setPen(limit);
    p.drawLine(QPointF(x, plot.top() - fm.height() * 0.5), QPointF(x, plot.bottom() + 2));
    p.setPen(Qt::black);
    const QString t = fittedNumber(value, 3, 9);
    p.drawText(QPointF(x - fm.horizontalAdvance(t) / 2, textY), t);
  }
  const QString below = QStringLiteral("below"), above = QStringLiteral("above");
  p.drawText(QPointF(barLeft(0) + w / 2 - fm.horizontalAdvance(below) / 2, textY + fm.height()),
             below);
  p.drawText(QPointF(barLeft(bands.size() - 1) + w / 2 - fm.horizontalAdvance(above) / 2,
                     textY + fm.height()),
             above);
  const QString caption = QStringLiteral("Points per colour band of the legend (mm)");
  p.drawText(
      QPointF(plot.center().x() - fm.horizontalAdvance(caption) / 2, textY + fm.height() * 2.2),
      caption);
  if (s.beyond > 0)
    p.drawText(QPointF(plot.left(), plot.top() - fm.height() * 0.2),
               countText(s.beyond) + QStringLiteral(" beyond \u00b19999 mm, in the outer bars"));
  p.restore();
}
