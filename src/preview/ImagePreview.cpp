#include "preview/ImagePreview.h"

#include "preview/BufferedCanvas.h"
#include "preview/ImagePreviewDocument.h"

#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

ImagePreview::ImagePreview(ImagePreviewDocument *doc, QWidget *parent)
    : QAbstractScrollArea(parent), doc_(doc) {
  // The off-screen buffer covers every exposed pixel, so Qt need not erase first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setBackgroundRole(QPalette::Base);
  updateScrollRange();
}

void ImagePreview::updateScrollRange() {
  QSize content;
  if (doc_ && doc_->picture.isLoaded()) {
    const QWidget *vp = viewport();
    content = doc_->picture.pixelSize(vp->logicalDpiX(), vp->logicalDpiY(), doc_->zoom);
    content += QSize(doc_->x, doc_->y);
  }
  const QSize page = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, content.width() - page.width()));
  horizontalScrollBar()->setPageStep(page.width());
  verticalScrollBar()->setRange(0, std::max(0, content.height() - page.height()));
  verticalScrollBar()->setPageStep(page.height());
}

void ImagePreview::drawDocument(QPainter &painter, const QRect &clip) const {
  BufferedCanvas mem(painter, clip, palette().color(QPalette::Base));
  if (doc_)
    doc_->picture.render(mem.painter(), doc_->x, doc_->y, doc_->zoom);
}

void ImagePreview::paintEvent(QPaintEvent *event) {
  QPainter painter(viewport());
  const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  painter.translate(-scroll);
  drawDocument(painter, event->rect().translated(scroll));
}

void ImagePreview::resizeEvent(QResizeEvent *event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollRange();
}

void ImagePreview::scrollContentsBy(int, int) { viewport()->update(); }

void ImagePreview::preparePrinting(QPrinter &printer) { printer.setFromTo(1, 1); }

bool ImagePreview::printPage(QPrinter &printer) const {
  QPainter painter;
  if (!painter.begin(&printer))
    return false;
  // The painter's origin is the top-left corner of the printable area.
  const QRect page(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
  drawPrintPage(painter, page);
  return painter.end();
}

QString ImagePreview::printTitle() const {
  if (!doc_)
    return {};
  if (!doc_->title.isEmpty())
    return doc_->title;
  const QFileInfo info(doc_->path());
  return QStringLiteral("%1    %2")
      .arg(info.fileName(), info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm")));
}

void ImagePreview::drawPrintPage(QPainter &painter, const QRect &page) const {
  painter.save();
  QFont font(QStringLiteral("Sans Serif"));
  font.setPointSizeF(10);
  painter.setFont(font);
  const QFontMetrics metrics(font, painter.device());
  const int titleHeight = metrics.height();
  painter.setPen(Qt::black);
  painter.drawText(QRect(page.left(), page.top(), page.width(), titleHeight),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(printTitle(), Qt::ElideMiddle, page.width()));
  const QRect area = page.adjusted(0, titleHeight * 3 / 2, 0, 0);
  if (doc_ && doc_->picture.isLoaded() && !area.isEmpty()) {
    const QImage &image = doc_->picture.image();
    const QSize fitted = image.size().scaled(area.size(), Qt::KeepAspectRatio);
    const QRect target(area.left() + (area.width() - fitted.width()) / 2,
                       area.top() + (area.height() - fitted.height()) / 2, fitted.width(),
                       fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
  }
  painter.restore();
}
