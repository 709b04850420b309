#include "preview/CbildvorschauView.h"

#include "preview/CMemDC.h"
#include "preview/CbildvorschauDoc.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

CbildvorschauView::CbildvorschauView(CbildvorschauDoc *doc, QWidget *parent)
    : QAbstractScrollArea(parent), doc_(doc) {
  // The off-screen buffer covers every exposed pixel, so Qt need not erase first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setBackgroundRole(QPalette::Base);
  updateScrollRange();
}

void CbildvorschauView::updateScrollRange() {
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

void CbildvorschauView::drawDocument(QPainter &painter, const QRect &clip) const {
  CMemDC mem(painter, clip, palette().color(QPalette::Base));
  if (doc_)
    doc_->picture.render(mem.painter(), doc_->x, doc_->y, doc_->zoom);
}

void CbildvorschauView::paintEvent(QPaintEvent *event) {
  QPainter painter(viewport());
  const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  painter.translate(-scroll);
  drawDocument(painter, event->rect().translated(scroll));
}

void CbildvorschauView::resizeEvent(QResizeEvent *event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollRange();
}

void CbildvorschauView::scrollContentsBy(int, int) { viewport()->update(); }

void CbildvorschauView::preparePrinting(QPrinter &printer) {
  printer.setFromTo(1, 1);
  printer.setPageOrientation(QPageLayout::Landscape);
}

bool CbildvorschauView::printPage(QPrinter &printer) const {
  QPainter painter;
  if (!painter.begin(&printer))
    return false;
  const QRect page(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
  drawDocument(painter, page);
  return painter.end();
}
