#include "report/ReportText.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

QString countText(std::size_t n) { return QLocale(QLocale::English).toString(qulonglong(n)); }

QString millimetres(double v, int decimals) {
  const QString text = QString::number(v, 'f', decimals);
  // No "-0.0000": a value that rounds to zero prints without a sign.
  return text.toDouble() == 0 ? QString::number(0.0, 'f', decimals) : text;
}

QString fittedNumber(double v, int decimals, int maxChars) {
  const QString fixed = millimetres(v, decimals);
  if (fixed.size() <= maxChars || !std::isfinite(v))
    return fixed;
  // "-1.23e+12": the mantissa gets what the sign and exponent leave, at least one place.
  return QString::number(v, 'e', std::clamp(maxChars - 8, 1, 6));
}

QString percentText(std::size_t part, std::size_t whole) {
  if (whole == 0)
    return QStringLiteral("0 %");
  if (part == 0 || part == whole)
    return part == 0 ? QStringLiteral("0 %") : QStringLiteral("100 %");
  const double percent = 100.0 * double(part) / double(whole);
  const QString text = QString::number(percent, 'f', 1);
  if (text == QStringLiteral("100.0"))
    return QStringLiteral("> 99.9 %");
  if (text == QStringLiteral("0.0"))
    return QStringLiteral("< 0.1 %");
  return text + QStringLiteral(" %");
}

QString shareText(std::size_t part, std::size_t whole) {
  return countText(part) + QStringLiteral(" (") + percentText(part, whole) + QStringLiteral(")");
}
