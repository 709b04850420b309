#include "report/LegendPainter.h"

#include "analysis/ColourScale.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

QColor qcolour(const Colour &c) { return QColor::fromRgbF(float(c.r), float(c.g), float(c.b)); }

namespace {
// Slices per bar with the gradient: flat slices instead of a shading, which every PDF/A
// reader renders alike.
constexpr int kGradientSlices = 12;

// Three decimals as the view labels them; scientific where that would be wider than
// "-888.888", so that an extreme tolerance never runs into its neighbours.
QString label(float value) {
  char text[48];
  std::snprintf(text, sizeof text, "%4.3f", double(value));
  if (std::strlen(text) > 8)
    std::snprintf(text, sizeof text, "%.2e", double(value));
  return QString::fromLatin1(text);
}
} // namespace

DisplaySettings legendSettingsOf(const ColourScale &scale) {
  DisplaySettings settings;
  settings.upperTolerance = scale.upper();
  settings.lowerTolerance = scale.lower();
  settings.colourBars =
      ColourScale::isOutsideLayout(scale.layout()) ? scale.bandCount() : scale.bandCount() - 2;
  settings.gradient = scale.gradient();
  settings.extendedColours = scale.extended();
  return settings;
}

void paintLegendStrip(QPainter &p, const QRectF &area, const DisplaySettings &settings,
                      const QFont &font) {
  DisplaySettings counted = settings;
  counted.colourBars = std::max(settings.colourBars, 1);
  const ColourScale scale = legendScale(counted);
  // The strip works in the scale's own single precision.
  const struct {
    float upper, lower;
    bool gradient, extended;
  } legend{scale.upper(), scale.lower(), settings.gradient, settings.extendedColours};
  const int n = scale.bandCount() - 2;
  p.save();
  p.setFont(font);
  const QFontMetricsF fm(font, p.device());
  const double barHeight = std::max(area.height() - fm.height() * 1.4, area.height() * 0.4);
  const double box = legend.extended ? std::min(area.width() * 0.08, barHeight * 2.0) : 0.0;
  const double gap = legend.extended ? box * 0.15 : 0.0;
  const QRectF bars(area.left() + box + gap, area.top(), area.width() - 2 * (box + gap), barHeight);
  const double w = bars.width() / n;
  const float step = (legend.upper - legend.lower) / float(n);

  p.setPen(Qt::NoPen);
  if (legend.extended) {
    p.setBrush(qcolour(legend.gradient ? scale.colourFor(legend.lower - 1) : scale.bandColour(0)));
    p.drawRect(QRectF(area.left(), area.top(), box, barHeight));
    // The view always paints the above-range box in the extended "above" colour.
    p.setBrush(qcolour(Colour{0.6, 0, 0.3}));
    p.drawRect(QRectF(area.right() - box, area.top(), box, barHeight));
  }
  for (int i = 0; i < n; ++i) {
    const double x = bars.left() + i * w;
    if (!legend.gradient) {
      p.setBrush(qcolour(scale.bandColour(i + 1)));
      p.drawRect(QRectF(x, bars.top(), w, barHeight));
      continue;
    }
    const float v = legend.lower + float(i) * step;
    for (int k = 0; k < kGradientSlices; ++k) {
      p.setBrush(qcolour(scale.colourFor(v + step * (float(k) + 0.5f) / kGradientSlices)));
      p.drawRect(QRectF(x + w * k / kGradientSlices, bars.top(), w / kGradientSlices, barHeight));
    }
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::black, 0.5));
  p.drawRect(bars);

  // The out-of-range boxes are named under themselves; the boundary labels keep clear of
  // those names. Every k-th label when they would run into each other, the last always.
  const double textTop = bars.bottom() + fm.height() * 0.2;
  double minLeft = area.left(), maxRight = area.right();
  if (legend.extended) {
    const QString below = QStringLiteral("below"), above = QStringLiteral("above");
    const double bw = fm.horizontalAdvance(below), aw = fm.horizontalAdvance(above);
    const double bl = std::max(area.left(), area.left() + box / 2 - bw / 2);
    const double al = std::min(area.right() - aw, area.right() - box / 2 - aw / 2);
    p.drawText(QPointF(bl, textTop + fm.ascent()), below);
    p.drawText(QPointF(al, textTop + fm.ascent()), above);
    minLeft = bl + bw + fm.horizontalAdvance(QLatin1Char(' '));
    maxRight = al - fm.horizontalAdvance(QLatin1Char(' '));
  }
  double labelWidth = fm.horizontalAdvance(label(-888.888f));
  for (int i = 0; i <= n; ++i)
    labelWidth = std::max(labelWidth, fm.horizontalAdvance(label(float(i) * step + legend.lower)));
  labelWidth *= 1.15;
  const int every = std::max(1, int(std::ceil(labelWidth / w)));
  for (int i = 0; i <= n; ++i) {
    if (i % every != 0 && i != n)
      continue;
    if (i != n && i + every > n && (n - i) * w < labelWidth)
      continue; // would touch the last label
    const double x = bars.left() + i * w;
    p.drawLine(QPointF(x, bars.bottom()), QPointF(x, bars.bottom() + fm.height() * 0.15));
    const QString text = label(float(i) * step + legend.lower);
    const double tw = fm.horizontalAdvance(text);
    const double left = std::clamp(x - tw / 2, minLeft, std::max(minLeft, maxRight - tw));
    p.drawText(QPointF(left, textTop + fm.ascent()), text);
  }
  p.restore();
}
