#include "view/SnapshotWriter.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QMetaObject>
#include <QOpenGLWidget>

#include <cstring>

namespace {
ImagePreviewOpener &previewOpener() {
  static ImagePreviewOpener opener;
  return opener;
}
} // namespace

BitmapImage bitmapFromFrame(const QImage &frame) {
  BitmapImage bmp;
  bmp.bitCount = 32;
  if (frame.isNull())
    return bmp;
  // Format_RGB32 keeps each pixel as 0xffRRGGBB in memory order B, G, R, 0xff on a
  // little-endian machine: the bitmap's order once the spare byte is cleared.
  const QImage rgb = frame.convertToFormat(QImage::Format_RGB32);
  bmp.width = rgb.width();
  bmp.height = rgb.height();
  const std::size_t stride = bmp.stride();
  bmp.pixels.resize(stride * static_cast<std::size_t>(bmp.height));
  for (int y = 0; y < bmp.height; ++y) {
    const QRgb *src = reinterpret_cast<const QRgb *>(rgb.constScanLine(bmp.height - 1 - y));
    std::uint8_t *dst = bmp.pixels.data() + stride * static_cast<std::size_t>(y);
    for (int x = 0; x < bmp.width; ++x, dst += 4) {
      dst[0] = static_cast<std::uint8_t>(qBlue(src[x]));
      dst[1] = static_cast<std::uint8_t>(qGreen(src[x]));
      dst[2] = static_cast<std::uint8_t>(qRed(src[x]));
      dst[3] = 0;
    }
  }
  return bmp;
}

ExportResult SaveWindowBitmap(const QString &path, QOpenGLWidget &view) {
  const std::string target = QFile::encodeName(path).toStdString();
  // The frame the view draws, read back from its framebuffer at the view's size.
  const QImage frame = view.grabFramebuffer();
  if (frame.isNull())
    return ExportResult::failure(target + ": the view's picture could not be read");
  return writeBitmapFile(target, bitmapFromFrame(frame));
}

QString snapshotTitle(const QString &sourceFile, double upperTolerance, double lowerTolerance,
                      const QDateTime &when) {
  const auto signedText = [](double v) {
    return (v >= 0 ? QStringLiteral("+") : QString()) + QString::number(v, 'g', 6);
  };
  return QStringLiteral("%1    %2    Tolerance %3 / %4 mm")
      .arg(sourceFile, when.toString(QStringLiteral("yyyy-MM-dd hh:mm")),
           signedText(upperTolerance), signedText(lowerTolerance));
}

void setImagePreviewOpener(ImagePreviewOpener opener) { previewOpener() = std::move(opener); }

bool openImagePreviewFor(QWidget *view, const QString &path, const QString &title) {
  if (previewOpener())
    return previewOpener()(path, title);
  QWidget *top = view ? view->window() : nullptr;
  if (!top)
    return false;
  bool opened = false;
  if (top->metaObject()->indexOfMethod("openImagePreview(QString,QString)") < 0 ||
      !QMetaObject::invokeMethod(top, "openImagePreview", Q_RETURN_ARG(bool, opened),
                                 Q_ARG(QString, path), Q_ARG(QString, title)))
    return false;
  return opened;
}
