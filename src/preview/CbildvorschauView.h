#pragma once
#include <QAbstractScrollArea>

class CbildvorschauDoc;
class QPainter;
class QPrinter;

// Scrolling view of an image preview document. Screen drawing goes through an off-screen
// buffer (CMemDC); printing draws the same picture straight onto one landscape page.
class CbildvorschauView : public QAbstractScrollArea {
  Q_OBJECT
public:
  // The view shows doc; doc must outlive the view (it is usually the view's child).
  explicit CbildvorschauView(CbildvorschauDoc *doc, QWidget *parent = nullptr);

  CbildvorschauDoc *document() const { return doc_; }

  // Draws the document into clip (logical coordinates of the painter's device): background,
  // then the picture at the document's position and zoom.
  void drawDocument(QPainter &painter, const QRect &clip) const;

  // Page settings every print job of this view gets: one page, landscape.
  static void preparePrinting(QPrinter &printer);
  // Prints the one page on an already set-up printer. False when nothing could be
  // painted (the printer could not be opened).
  bool printPage(QPrinter &printer) const;

  // Brings the scroll range in line with the picture's size at the current zoom.
  void updateScrollRange();

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  CbildvorschauDoc *doc_;
};
