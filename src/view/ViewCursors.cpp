#include "view/ViewCursors.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
QPixmap blank() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  return pm;
}

// Arrowhead at the end of an arc, pointing along the arc's direction.
void arrowHead(QPainter &p, QPointF tip, QPointF dir) {
  const QPointF n(-dir.y(), dir.x());
  QPolygonF tri;
  tri << tip << tip - dir * 6 + n * 4 << tip - dir * 6 - n * 4;
  p.drawPolygon(tri);
}
} // namespace

QCursor makeRotateCursor() {
  QPixmap pm = blank();
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  for (int pass = 0; pass < 2; ++pass) {
    // A white halo under the black strokes keeps the cursor visible on any background.
    const QColor c = pass == 0 ? Qt::white : Qt::black;
    p.setPen(QPen(c, pass == 0 ? 4.0 : 2.0));
    p.setBrush(c);
    const QRectF r(6, 6, 20, 20);
    p.drawArc(r, 20 * 16, 140 * 16);
    p.drawArc(r, 200 * 16, 140 * 16);
    arrowHead(p, QPointF(7.5, 12.5), QPointF(-0.3, 1));
    arrowHead(p, QPointF(24.5, 19.5), QPointF(0.3, -1));
  }
  p.end();
  return QCursor(pm, 16, 16);
}

QCursor makeZoomCursor() {
  QPixmap pm = blank();
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  for (int pass = 0; pass < 2; ++pass) {
    const QColor c = pass == 0 ? Qt::white : Qt::black;
    p.setPen(QPen(c, pass == 0 ? 4.0 : 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(3, 3, 16, 16));
    p.setPen(QPen(c, pass == 0 ? 6.0 : 4.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17, 17), QPointF(28, 28));
    p.setPen(QPen(c, pass == 0 ? 3.5 : 1.5));
    p.drawLine(QPointF(7, 11), QPointF(15, 11));
    p.drawLine(QPointF(11, 7), QPointF(11, 15));
  }
  p.end();
  return QCursor(pm, 11, 11);
}
