// The image preview view: its drawing on screen and its one-page landscape print.
#include "preview/ImagePreview.h"
#include "preview/ImagePreviewDocument.h"
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

TEST(PreviewPrint, OnePageInTheOrientationOfThePageSetup) {
  QTemporaryDir dir;
  std::unique_ptr<QWidget> widget(createImagePreview(writePicture(dir, 300, 200), nullptr));
  auto *view = qobject_cast<ImagePreview *>(widget.get());
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(view->document()->picture.isLoaded());

  for (const auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(orientation); // as the page setup left it
    const QString pdf = dir.filePath("out.pdf");
    printer.setOutputFileName(pdf);
    ImagePreview::preparePrinting(printer);
    EXPECT_EQ(printer.fromPage(), 1);
    EXPECT_EQ(printer.toPage(), 1);
    ASSERT_TRUE(view->printPage(printer));

    const PdfPages pages = readPdfPages(pdf);
    EXPECT_EQ(pages.count, 1);
    ASSERT_FALSE(pages.mediaBoxes.isEmpty());
    for (const QRectF &b : pages.mediaBoxes)
      EXPECT_EQ(b.width() > b.height(), orientation == QPageLayout::Landscape);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("/Subtype /Image"));
  }
}

TEST(PreviewPrint, PictureFitsThePageCentredUnderTheTitleLine) {
  QTemporaryDir dir;
  ImagePreviewDocument doc;
  ASSERT_TRUE(doc.openDocument(writePicture(dir, 300, 200)));
  ImagePreview view(&doc);
  EXPECT_TRUE(view.printTitle().startsWith("pic.png    20")) << view.printTitle().toStdString();
  doc.title = "part.ses    2024-05-01 10:00    Tolerance +0.25 / -0.25 mm";
  EXPECT_EQ(view.printTitle(), doc.title);
  // A 300 dpi "printer" page, taller than the picture's shape: the width decides.
  QImage page(1000, 1000, QImage::Format_RGB32);
  page.setDotsPerMeterX(11811);
  page.setDotsPerMeterY(11811);
  page.fill(Qt::white);
  {
    QPainter painter(&page);
    view.drawPrintPage(painter, page.rect());
  }
  page.save(QStringLiteral(VELMORA_BINARY_DIR "/preview-print-page.png")); // for looking at
  QRect box;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (page.pixel(x, y) == kPicture)
        box |= QRect(x, y, 1, 1);
  ASSERT_FALSE(box.isEmpty());
  EXPECT_LE(box.left(), 1);
  EXPECT_GE(box.right(), 998);
  EXPECT_NEAR(box.height(), 1000 * 2 / 3, 2); // the picture's shape is kept
  // Centred in what the title leaves; the title's text lies above the picture.
  const int titleArea = 1000 - box.height() - 2 * (999 - box.bottom());
  EXPECT_GT(titleArea, 10);
  EXPECT_LT(titleArea, 200);
  int ink = 0;
  for (int y = 0; y < titleArea; ++y)
    for (int x = 0; x < page.width(); ++x)
      ink += qGray(page.pixel(x, y)) < 128;
  EXPECT_GT(ink, 50);
}

TEST(PreviewView, ShowsPictureAtDocumentPositionOverBackground) {
  QTemporaryDir dir;
  auto *doc = new ImagePreviewDocument;
  ASSERT_TRUE(doc->openDocument(writePicture(dir, 40, 30)));
  doc->x = 15;
  doc->y = 5;
  ImagePreview view(doc);
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
  auto *view = qobject_cast<ImagePreview *>(widget.get());
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(view->document()->picture.isLoaded());
  view->resize(80, 60);
  view->show();
  const QImage shot = view->viewport()->grab().toImage();
  EXPECT_EQ(shot.pixel(5, 5), shot.pixel(70, 50));
}
