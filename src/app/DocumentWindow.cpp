#include "app/DocumentWindow.h"

#include "app/CommandIds.h"
#include "app/SessionAnnotations.h"
#include "app/SessionDocument.h"
#include "view/ModelView.h"

#include <QCloseEvent>

DocumentWindow::DocumentWindow(std::unique_ptr<SessionDocument> doc, QWidget *parent)
    : QMdiSubWindow(parent), doc_(std::move(doc)), templateId_(IDR_SESSION_TYPE) {
  setAttribute(Qt::WA_DeleteOnClose);
  view_ = new ModelView(this);
  setWidget(view_);
  const QString name = doc_ && !doc_->path().isEmpty() ? doc_->path().section('/', -1)
                                                       : QStringLiteral("VelmoraViewer");
  setWindowTitle(name);
}

DocumentWindow::DocumentWindow(QWidget *preview, const QString &title, QWidget *parent)
    : QMdiSubWindow(parent), preview_(preview), templateId_(IDR_PREVIEW_TYPE) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(preview_);
  setWindowTitle(title);
}

DocumentWindow::~DocumentWindow() {
  // Work that reads the model finishes before the model goes.
  if (doc_ && doc_->annotations())
    doc_->annotations()->waitForWork();
  // The view (and with it the scene and the point cloud) goes before the document that
  // points at them.
  delete widget();
}

void DocumentWindow::closeEvent(QCloseEvent *e) {
  // Closing asks before unsaved annotations are lost.
  if (doc_ && doc_->annotations() && !doc_->annotations()->confirmClose(this)) {
    e->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(e);
  if (e->isAccepted())
    emit closing();
}

void DocumentWindow::sizeClientArea(int w, int h, const QSize &available) {
  QWidget *client = widget();
  if (!client)
    return;
  const QSize extra = size() - client->size();
  const QSize wanted(w + std::max(0, extra.width()), h + std::max(0, extra.height()));
  resize(wanted.boundedTo(available));
}
