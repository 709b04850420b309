#include "app/CChildFrame.h"

#include "app/CommandIds.h"
#include "app/SessionAnnotations.h"
#include "app/VelmoraViewerWE_Doc.h"
#include "view/view3d.h"

#include <QCloseEvent>

CChildFrame::CChildFrame(std::unique_ptr<VelmoraViewerWE_Doc> doc, QWidget *parent)
    : QMdiSubWindow(parent), doc_(std::move(doc)), templateId_(IDR_SESSION_TYPE) {
  setAttribute(Qt::WA_DeleteOnClose);
  view_ = new view3d(this);
  setWidget(view_);
  const QString name = doc_ && !doc_->path().isEmpty() ? doc_->path().section('/', -1)
                                                       : QStringLiteral("VelmoraViewer");
  setWindowTitle(name);
}

CChildFrame::CChildFrame(QWidget *preview, const QString &title, QWidget *parent)
    : QMdiSubWindow(parent), preview_(preview), templateId_(IDR_PREVIEW_TYPE) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(preview_);
  setWindowTitle(title);
}

CChildFrame::~CChildFrame() {
  // Work that reads the model finishes before the model goes.
  if (doc_ && doc_->annotations())
    doc_->annotations()->waitForWork();
  // The view (and with it the scene and the point cloud) goes before the document that
  // points at them.
  delete widget();
  if (doc_ && VelmoraViewerWE_Doc::current() == doc_.get())
    VelmoraViewerWE_Doc::setCurrent(nullptr);
}

void CChildFrame::closeEvent(QCloseEvent *e) {
  // Closing asks before unsaved annotations are lost.
  if (doc_ && doc_->annotations() && !doc_->annotations()->confirmClose(this)) {
    e->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(e);
}

void CChildFrame::sizeClientArea(int w, int h, const QSize &available) {
  QWidget *client = widget();
  if (!client)
    return;
  const QSize extra = size() - client->size();
  const QSize wanted(w + std::max(0, extra.width()), h + std::max(0, extra.height()));
  resize(wanted.boundedTo(available));
}
