// The image preview view: its drawing on screen and its one-page landscape print.
#include "preview/CbildvorschauDoc.h"
#include "preview/CbildvorschauView.h"
#include "preview/PreviewApi.h"

#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {
constexpr QRgb kPicture = 0xffc02040;

QString writePicture(const QTemporaryDir &dir, int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(kPicture);
  image.setDotsPerMeterX(3780);
  image.setDotsPerMeterY(3780);
  const QString path = dir.filePath("pic.png");
  EXPECT_TRUE(image.save(path));
  return path;
}

struct PdfPages {
  int count = 0;
  QList<QRectF> mediaBoxes;
};

// Page objects and their media boxes, read from the PDF's uncompressed object headers.
PdfPages readPdfPages(const QString &path) {
  QFile f(path);
  PdfPages pages;
  if (!f.open(QIODevice::ReadOnly))
    return pages;
  const QString text = QString::fromLatin1(f.readAll());
  pages.count = text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![s])")));
  QRegularExpression box(QStringLiteral(
      "/MediaBox\\s*\\[\\s*([-\\d.]+)\\s+([-\\d.]+)\\s+([-\\d.]+)\\s+([-\\d.]+)\\s*\\]"));
  for (auto it = box.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    pages.mediaBoxes.append(QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                   QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())));
  }
  return pages;
}
} // namespace

TEST(PreviewPrint, OneLandscapePageWithThePicture) {
  QTemporaryDir dir;
  std::unique_ptr<QWidget> widget(createImagePreview(writePicture(dir, 300, 200), nullptr));
  auto *view = qobject_cast<CbildvorschauView *>(widget.get());
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(view->document()->picture.isLoaded());

  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait); // the job must turn it
  const QString pdf = dir.filePath("out.pdf");
  printer.setOutputFileName(pdf);
  CbildvorschauView::preparePrinting(printer);
  EXPECT_EQ(printer.fromPage(), 1);
  EXPECT_EQ(printer.toPage(), 1);
  ASSERT_TRUE(view->printPage(printer));

  const PdfPages pages = readPdfPages(pdf);
  EXPECT_EQ(pages.count, 1);
  ASSERT_FALSE(pages.mediaBoxes.isEmpty());
  for (const QRectF &b : pages.mediaBoxes)
    EXPECT_GT(b.width(), b.height()) << "page is not landscape";
  // The picture has content drawn: the PDF carries an image for it.
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().contains("/Subtype /Image"));
}

TEST(PreviewPrint, PrintedPictureKeepsItsPhysicalSize) {
  QTemporaryDir dir;
  CbildvorschauDoc doc;
  ASSERT_TRUE(doc.openDocument(writePicture(dir, 96, 96)));
  CbildvorschauView view(&doc);
  // A 300 dpi raster "printer": one inch of picture must cover 300 device pixels.
  QImage page(600, 600, QImage::Format_RGB32);
  page.setDotsPerMeterX(11811);
  page.setDotsPerMeterY(11811);
  {
    QPainter painter(&page);
    view.drawDocument(painter, page.rect());
  }
  EXPECT_EQ(page.pixel(0, 0), kPicture);
  EXPECT_EQ(page.pixel(299, 299), kPicture);
  EXPECT_NE(page.pixel(301, 10), kPicture);
  EXPECT_NE(page.pixel(10, 301), kPicture);
}

TEST(PreviewView, ShowsPictureAtDocumentPositionOverBackground) {
  QTemporaryDir dir;
  auto *doc = new CbildvorschauDoc;
  ASSERT_TRUE(doc->openDocument(writePicture(dir, 40, 30)));
  doc->x = 15;
  doc->y = 5;
  CbildvorschauView view(doc);
  doc->setParent(&view);
  view.resize(200, 150);
  view.show();
  const QImage shot = view.viewport()->grab().toImage();
  const double scale = view.viewport()->logicalDpiX() / 96.0;
  const int w = static_cast<int>(40 * scale), h = static_cast<int>(30 * scale);
  ASSERT_GT(w, 2);
  EXPECT_EQ(shot.pixel(15, 5), kPicture);
  EXPECT_EQ(shot.pixel(15 + w - 1, 5 + h - 1), kPicture);
  EXPECT_NE(shot.pixel(14, 5), kPicture);
  EXPECT_NE(shot.pixel(15 + w + 1, 5 + h + 1), kPicture);
}

TEST(PreviewDocument, MissingFileOpensNothingUndecodableFileShowsBackground) {
  QTemporaryDir dir;
  EXPECT_EQ(createImagePreview(dir.filePath("none.bmp"), nullptr), nullptr);

  QFile junk(dir.filePath("junk.bmp"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("BM but not really");
  junk.close();
  std::unique_ptr<QWidget> widget(createImagePreview(junk.fileName(), nullptr));
  auto *view = qobject_cast<CbildvorschauView *>(widget.get());
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(view->document()->picture.isLoaded());
  view->resize(80, 60);
  view->show();
  const QImage shot = view->viewport()->grab().toImage();
  EXPECT_EQ(shot.pixel(5, 5), shot.pixel(70, 50));
}
