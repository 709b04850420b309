#include "app/AppIcons.h"

#include "app/CommandIds.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
constexpr int W = 16, H = 15;

QPixmap canvas(int w = W, int h = H) {
  QPixmap pm(w, h);
  pm.fill(Qt::transparent);
  return pm;
}

void folder(QPainter &p) {
  p.setPen(QPen(QColor(120, 90, 20), 1));
  p.setBrush(QColor(240, 200, 80));
  p.drawRect(1, 4, 13, 9);
  p.drawRect(1, 2, 5, 2);
}

void tolerance(QPainter &p) {
  // Three colour bands: the deviation scale.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 30, 30));
  p.drawRect(2, 1, 12, 4);
  p.setBrush(QColor(30, 180, 30));
  p.drawRect(2, 5, 12, 4);
  p.setBrush(QColor(30, 60, 220));
  p.drawRect(2, 9, 12, 4);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(2, 1, 12, 12);
}

void showAll(QPainter &p) {
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(Qt::NoBrush);
  // Corner brackets around a model.
  p.drawPolyline(QPolygon({QPoint(1, 4), QPoint(1, 1), QPoint(4, 1)}));
  p.drawPolyline(QPolygon({QPoint(11, 1), QPoint(14, 1), QPoint(14, 4)}));
  p.drawPolyline(QPolygon({QPoint(1, 10), QPoint(1, 13), QPoint(4, 13)}));
  p.drawPolyline(QPolygon({QPoint(11, 13), QPoint(14, 13), QPoint(14, 10)}));
  p.setBrush(QColor(60, 120, 220));
  p.drawEllipse(QPoint(8, 7), 3, 3);
}

void camera(QPainter &p) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(90, 90, 100));
  p.drawRect(1, 4, 13, 9);
  p.drawRect(4, 2, 5, 2);
  p.setBrush(QColor(170, 210, 255));
  p.drawEllipse(QPoint(8, 8), 3, 3);
}

void comment(QPainter &p) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(255, 255, 200));
  QPainterPath path;
  path.addRoundedRect(QRectF(1, 1, 13, 9), 2, 2);
  p.drawPath(path);
  p.drawPolygon(QPolygon({QPoint(4, 10), QPoint(4, 13), QPoint(7, 10)}));
  p.drawLine(4, 4, 11, 4);
  p.drawLine(4, 7, 9, 7);
}

void section(QPainter &p) {
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(120, 170, 230, 140));
  p.drawPolygon(QPolygon({QPoint(1, 10), QPoint(6, 4), QPoint(14, 4), QPoint(9, 10)}));
  p.setPen(QPen(QColor(220, 30, 30), 2));
  p.drawLine(3, 7, 12, 7);
}
void exportArrow(QPainter &p) {
  // A page with an arrow leaving it.
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(250, 250, 250));
  p.drawRect(1, 1, 9, 12);
  p.setPen(QPen(QColor(30, 140, 40), 2));
  p.drawLine(6, 7, 13, 7);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 140, 40));
  p.drawPolygon(QPolygon({QPoint(11, 3), QPoint(15, 7), QPoint(11, 11)}));
}
void ruler(QPainter &p) {
  // Two points joined by a measured line, with its end ticks.
  p.setPen(QPen(QColor(30, 30, 30), 1));
  p.drawLine(2, 12, 13, 3);
  p.setBrush(QColor(220, 30, 30));
  p.drawRect(1, 11, 2, 2);
  p.drawRect(12, 2, 2, 2);
  p.setPen(QPen(QColor(30, 90, 200), 1));
  p.drawLine(4, 13, 14, 13);
  p.drawLine(4, 11, 4, 14);
  p.drawLine(14, 11, 14, 14);
}
} // namespace

QIcon toolbarIcon(int commandId) {
  QPixmap pm = canvas();
  QPainter p(&pm);
  switch (commandId) {
  case ID_FILE_OPEN:
    folder(p);
    break;
  case ID_TOLERANCE:
    tolerance(p);
    break;
  case ID_SHOW_ALL_POINTS:
    showAll(p);
    break;
  case ID_SNAPSHOT:
    camera(p);
    break;
  case ID_ADD_COMMENT:
    comment(p);
    break;
  case ID_GENERATE_SECTION_CURVE:
    section(p);
    break;
  case ID_EXPORT:
    exportArrow(p);
    break;
  case ID_MEASURE_DISTANCE:
    ruler(p);
    break;
  default:
    break;
  }
  p.end();
  return QIcon(pm);
}

QIcon applicationIcon() {
  QPixmap pm = canvas(64, 64);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 64, 0, 0);
  bg.setColorAt(0, QColor(230, 230, 230));
  bg.setColorAt(1, QColor(68, 97, 136));
  p.setBrush(bg);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  // A surface patch coloured like a deviation map.
  QLinearGradient dev(8, 0, 56, 0);
  dev.setColorAt(0, QColor(0, 0, 255));
  dev.setColorAt(0.5, QColor(0, 220, 0));
  dev.setColorAt(1, QColor(255, 0, 0));
  p.setBrush(dev);
  p.setPen(QPen(QColor(20, 20, 20), 1.5));
  p.drawPolygon(QPolygonF({QPointF(8, 44), QPointF(24, 18), QPointF(56, 22), QPointF(42, 50)}));
  return QIcon(pm);
}
