// Picture loading and the physical-size rule of the image preview.
#include "preview/BufferedCanvas.h"
#include "preview/Picture.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
constexpr QRgb kPicture = 0xff2060c0;
constexpr QRgb kBackground = 0xffffffff;

// A solid picture file of w x h pixels at the given resolution (0: none stored).
QString writePicture(const QTemporaryDir &dir, const char *name, int w, int h, int dpm,
                     QRgb colour = kPicture) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  if (dpm > 0) {
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
  }
  const QString path = dir.filePath(name);
  EXPECT_TRUE(image.save(path));
  return path;
}

// Target image at exactly 96 dpi, so the expected sizes do not depend on the screen.
QImage target96(int w, int h) {
  QImage target(w, h, QImage::Format_RGB32);
  target.setDotsPerMeterX(3780);
  target.setDotsPerMeterY(3780);
  target.fill(kBackground);
  return target;
}
} // namespace

TEST(PictureSize, NinetySixPixelsAtNinetySixDpiDrawNinetySixPixels) {
  QTemporaryDir dir;
  Picture picture;
  ASSERT_TRUE(picture.load(writePicture(dir, "a.png", 96, 96, 3780)));
  EXPECT_EQ(picture.sizeHimetric().toSize(), QSize(2540, 2540));
  EXPECT_EQ(picture.pixelSize(96, 96, 1.0), QSize(96, 96));

  QImage target = target96(200, 200);
  {
    QPainter painter(&target);
    ASSERT_EQ(target.logicalDpiX(), 96);
    EXPECT_TRUE(picture.render(painter, 10, 20, 1.0));
  }
  // Exactly columns 10..105 and rows 20..115 are the picture.
  EXPECT_EQ(target.pixel(10, 20), kPicture);
  EXPECT_EQ(target.pixel(105, 115), kPicture);
  EXPECT_EQ(target.pixel(106, 60), kBackground);
  EXPECT_EQ(target.pixel(60, 116), kBackground);
  EXPECT_EQ(target.pixel(9, 60), kBackground);
  EXPECT_EQ(target.pixel(60, 19), kBackground);
}

TEST(PictureSize, ResolutionZoomAndTruncation) {
  QTemporaryDir dir;
  Picture picture;
  // 192 dpi: half the size on a 96 dpi device, full size on a 192 dpi one.
  ASSERT_TRUE(picture.load(writePicture(dir, "hi.png", 96, 48, 7559)));
  EXPECT_NEAR(picture.sizeHimetric().width(), 1270, 0.01);
  EXPECT_NEAR(picture.sizeHimetric().height(), 635, 0.01);
  EXPECT_EQ(picture.pixelSize(96, 96, 1.0), QSize(48, 24));
  EXPECT_EQ(picture.pixelSize(192, 192, 1.0), QSize(96, 48));
  EXPECT_EQ(picture.pixelSize(96, 96, 2.0), QSize(96, 48));
  // Different horizontal and vertical device resolutions scale each axis on its own.
  EXPECT_EQ(picture.pixelSize(96, 192, 1.0), QSize(48, 48));

  // No stored resolution: 96 dpi is assumed. A BMP without one is the snapshot's case.
  QImage plain(100, 50, QImage::Format_RGB32);
  plain.fill(kPicture);
  const QString bmp = dir.filePath("plain.bmp");
  ASSERT_TRUE(plain.save(bmp));
  ASSERT_TRUE(picture.load(bmp));
  EXPECT_EQ(picture.pixelSize(96, 96, 1.0), QSize(100, 50));
  // Sizes that are no whole number of HIMETRIC units still come out pixel for pixel; the
  // zoomed size is truncated, not rounded.
  for (int w : {1, 37, 40, 41, 333, 1001}) {
    QImage odd(w, 3, QImage::Format_RGB32);
    odd.fill(kPicture);
    const QString path = dir.filePath(QStringLiteral("odd%1.bmp").arg(w));
    ASSERT_TRUE(odd.save(path));
    Picture p;
    ASSERT_TRUE(p.load(path));
    EXPECT_EQ(p.pixelSize(96, 96, 1.0), QSize(w, 3)) << w;
  }
  EXPECT_EQ(picture.pixelSize(96, 96, 0.999), QSize(99, 49));
  EXPECT_EQ(picture.pixelSize(96, 96, 0.5), QSize(50, 25));
}

TEST(PictureLoad, SecondPictureReplacesFirstAndFailureLeavesNone) {
  QTemporaryDir dir;
  Picture picture;
  EXPECT_FALSE(picture.isLoaded());
  QImage empty = target96(10, 10);
  {
    QPainter painter(&empty);
    EXPECT_FALSE(picture.render(painter, 0, 0, 1.0));
  }

  ASSERT_TRUE(picture.load(writePicture(dir, "a.png", 30, 20, 3780, 0xffff0000)));
  ASSERT_TRUE(picture.load(writePicture(dir, "b.png", 12, 14, 3780, 0xff00ff00)));
  EXPECT_EQ(picture.image().size(), QSize(12, 14));
  EXPECT_EQ(picture.image().pixel(0, 0), 0xff00ff00);

  // A file that is not a picture: the old picture is released all the same.
  QFile junk(dir.filePath("junk.png"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("this is not an image");
  junk.close();
  EXPECT_FALSE(picture.load(junk.fileName()));
  EXPECT_FALSE(picture.isLoaded());

  ASSERT_TRUE(picture.load(writePicture(dir, "c.png", 5, 5, 3780)));
  EXPECT_FALSE(picture.load(dir.filePath("missing.png")));
  EXPECT_FALSE(picture.isLoaded());
}

TEST(PictureLoad, ReadsByContentNotByName) {
  QTemporaryDir dir;
  const QString png = writePicture(dir, "real.png", 7, 9, 3780);
  const QString renamed = dir.filePath("looks-like.bmp");
  ASSERT_TRUE(QFile::copy(png, renamed));
  Picture picture;
  ASSERT_TRUE(picture.load(renamed));
  EXPECT_EQ(picture.image().size(), QSize(7, 9));
}

TEST(MemoryDrawing, ScreenDrawingReachesTargetOnlyWhenDone) {
  QImage target = target96(40, 30);
  QPainter painter(&target);
  {
    BufferedCanvas mem(painter, QRect(5, 5, 20, 10), QColor(Qt::black));
    EXPECT_TRUE(mem.drawsToMemory());
    mem.painter().fillRect(QRect(10, 8, 4, 4), QColor(0, 255, 0));
    // Nothing is visible on the target until the buffer is copied.
    EXPECT_EQ(target.pixel(11, 9), kBackground);
    EXPECT_EQ(target.pixel(6, 6), kBackground);
  }
  painter.end();
  // The drawing lands at its logical position, the rest of the rectangle is background,
  // and outside the rectangle nothing changed.
  EXPECT_EQ(target.pixel(11, 9), 0xff00ff00);
  EXPECT_EQ(target.pixel(6, 6), 0xff000000);
  EXPECT_EQ(target.pixel(24, 14), 0xff000000);
  EXPECT_EQ(target.pixel(25, 14), kBackground);
  EXPECT_EQ(target.pixel(4, 4), kBackground);
}

TEST(MemoryDrawing, HighDensityTargetsKeepTheirDetail) {
  // Logical 40 x 30 at two device pixels per logical pixel.
  QImage target(80, 60, QImage::Format_RGB32);
  target.setDevicePixelRatio(2);
  target.fill(kBackground);
  {
    QPainter painter(&target);
    BufferedCanvas mem(painter, QRect(0, 0, 40, 30), QColor(Qt::black));
    // Half a logical pixel wide: exactly one device column.
    mem.painter().fillRect(QRectF(10, 8, 0.5, 4), QColor(0, 255, 0));
  }
  EXPECT_EQ(target.pixel(20, 17), 0xff00ff00);
  EXPECT_EQ(target.pixel(21, 17), 0xff000000);
  EXPECT_EQ(target.pixel(19, 17), 0xff000000);
}
