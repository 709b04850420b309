#include "report/ReportFonts.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

QFont reportFont(double points, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

void setUpA4LandscapePage(QPdfWriter &writer) {
  writer.setResolution(72);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                   QMarginsF(0, 0, 0, 0), QPageLayout::Point));
}
