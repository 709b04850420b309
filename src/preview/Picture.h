#pragma once
#include <QImage>
#include <QSize>
#include <QSizeF>

class QPainter;
class QString;

// One loaded picture file, drawn at its physical size: the picture's size is kept in
// HIMETRIC units (0.01 mm) and converted to device pixels with the device's resolution, so
// a picture prints at the same size as it shows on screen.
class Picture {
public:
  Picture() = default;
  virtual ~Picture();

  // Releases the current picture, then reads the whole file and decodes it with Qt's image
  // readers (format chosen by content). False when the file cannot be read or decoded; the
  // picture is then empty.
  bool load(const QString &path);
  void release();
  bool isLoaded() const { return !image_.isNull(); }
  const QImage &image() const { return image_; }

  // Width and height in HIMETRIC. The image's own resolution (dots per metre) when it has
  // one, else 96 dpi; a resolution that is within 0.05 of a whole dpi counts as that dpi
  // (BMP and PNG store resolutions in whole dots per metre). Kept unrounded: whole HIMETRIC
  // units would make a 40-pixel picture 39 pixels wide again on its own screen.
  QSizeF sizeHimetric() const;
  // Pixel size at the given device resolution (pixels per logical inch) and zoom,
  // truncated (a hair of tolerance absorbs the floating-point error of the round trip).
  QSize pixelSize(double dpiX, double dpiY, double zoom) const;

  // Draws the whole picture upright into (x, y, pixel size) of the painter's device, using
  // the device's logical resolution. False with no picture.
  bool render(QPainter &painter, int x, int y, double zoom) const;
  bool render(QPainter &painter, int x, int y, double zoom, double dpiX, double dpiY) const;

  Picture(const Picture &) = delete;
  Picture &operator=(const Picture &) = delete;

private:
  QImage image_;
};
