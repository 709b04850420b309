#include "preview/Picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>

namespace {
constexpr double kHimetricPerInch = 2540.0;
constexpr double kDefaultDpi = 96.0;

// Dots per inch from dots per metre, snapping to a whole dpi when the stored value is
// only a rounding of one (96 dpi is stored as 3780 dots per metre).
double dpiFromDotsPerMetre(int dpm) {
  if (dpm <= 0)
    return kDefaultDpi;
  const double dpi = dpm * 0.0254;
  const double whole = std::round(dpi);
  return std::fabs(dpi - whole) < 0.05 ? whole : dpi;
}
} // namespace

Picture::~Picture() = default;

void Picture::release() { image_ = QImage(); }

bool Picture::load(const QString &path) {
  release();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return false;
  QByteArray bytes = file.readAll();
  file.close();
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  QImage decoded = reader.read();
  if (decoded.isNull())
    return false;
  image_ = std::move(decoded);
  return true;
}

QSizeF Picture::sizeHimetric() const {
  if (image_.isNull())
    return {};
  const double dpiX = dpiFromDotsPerMetre(image_.dotsPerMeterX());
  const double dpiY = dpiFromDotsPerMetre(image_.dotsPerMeterY());
  return {image_.width() * kHimetricPerInch / dpiX, image_.height() * kHimetricPerInch / dpiY};
}

QSize Picture::pixelSize(double dpiX, double dpiY, double zoom) const {
  constexpr double kSlack = 1e-6;
  const QSizeF h = sizeHimetric();
  const double w = h.width() * dpiX / kHimetricPerInch * zoom;
  const double ht = h.height() * dpiY / kHimetricPerInch * zoom;
  return {static_cast<int>(w + kSlack), static_cast<int>(ht + kSlack)};
}

bool Picture::render(QPainter &painter, int x, int y, double zoom) const {
  const QPaintDevice *device = painter.device();
  const double dpiX = device ? device->logicalDpiX() : kDefaultDpi;
  const double dpiY = device ? device->logicalDpiY() : kDefaultDpi;
  return render(painter, x, y, zoom, dpiX, dpiY);
}

bool Picture::render(QPainter &painter, int x, int y, double zoom, double dpiX, double dpiY) const {
  if (image_.isNull())
    return false;
  const QSize size = pixelSize(dpiX, dpiY, zoom);
  if (size.width() <= 0 || size.height() <= 0)
    return false;
  painter.drawImage(QRect(QPoint(x, y), size), image_);
  return true;
}
