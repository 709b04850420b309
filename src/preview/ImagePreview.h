#pragma once
#include <QAbstractScrollArea>

class ImagePreviewDocument;
class QPainter;
class QPrinter;

// Scrolling view of an image preview document. Screen drawing goes through an off-screen
// buffer (BufferedCanvas); printing puts a title line and the picture, fitted, on one page.
class ImagePreview : public QAbstractScrollArea {
  Q_OBJECT
public:
  // The view shows doc; doc must outlive the view (it is usually the view's child).
  explicit ImagePreview(ImagePreviewDocument *doc, QWidget *parent = nullptr);

  ImagePreviewDocument *document() const { return doc_; }

  // Draws the document into clip (logical coordinates of the painter's device): background,
  // then the picture at the document's position and zoom.
  void drawDocument(QPainter &painter, const QRect &clip) const;

  // Page settings every print job of this view gets: one page. The orientation stays the
  // page setup's.
  static void preparePrinting(QPrinter &printer);
  // Prints the one page on an already set-up printer. False when nothing could be
  // painted (the printer could not be opened).
  bool printPage(QPrinter &printer) const;
  // The printed page within page (the printable area, in device pixels): the title line at
  // the top, under it the picture scaled to fit the rest and centred there.
  void drawPrintPage(QPainter &painter, const QRect &page) const;
  // The document's title, or else the picture file's name and the time it was written.
  QString printTitle() const;

  // Brings the scroll range in line with the picture's size at the current zoom.
  void updateScrollRange();

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  ImagePreviewDocument *doc_;
};
