#include "preview/PreviewApi.h"

#include "preview/ImagePreview.h"
#include "preview/ImagePreviewDocument.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QString>

namespace {
// The application's printer defaults, shared by Print, Print Preview and Print Setup so
// that a setup choice holds for the jobs after it. Created on first use (it needs the
// application object) with a landscape A4 page, and kept for the life of the program.
QPrinter &applicationPrinter() {
  static QPrinter *printer = [] {
    auto *p = new QPrinter(QPrinter::HighResolution);
    p->setPageOrientation(QPageLayout::Landscape);
    p->setPageSize(QPageSize(QPageSize::A4));
    return p;
  }();
  return *printer;
}

ImagePreview *previewView(QWidget *preview) {
  if (!preview)
    return nullptr;
  if (auto *view = qobject_cast<ImagePreview *>(preview))
    return view;
  return preview->findChild<ImagePreview *>();
}
} // namespace

QWidget *createImagePreview(const QString &path, QWidget *parent, const QString &title) {
  auto *doc = new ImagePreviewDocument;
  if (!doc->openDocument(path)) {
    delete doc;
    return nullptr;
  }
  doc->title = title;
  auto *view = new ImagePreview(doc, parent);
  doc->setParent(view);
  view->setWindowTitle(path);
  return view;
}

void printImagePreview(QWidget *preview) {
  ImagePreview *view = previewView(preview);
  if (!view)
    return;
  QPrinter &printer = applicationPrinter();
  ImagePreview::preparePrinting(printer);
  QPrintDialog dialog(&printer, view);
  dialog.setMinMax(1, 1);
  if (dialog.exec() == QDialog::Accepted)
    view->printPage(printer);
}

void printPreviewImagePreview(QWidget *preview) {
  ImagePreview *view = previewView(preview);
  if (!view)
    return;
  QPrinter &printer = applicationPrinter();
  ImagePreview::preparePrinting(printer);
  QPrintPreviewDialog dialog(&printer, view);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, view,
                   [view](QPrinter *p) { view->printPage(*p); });
  dialog.exec();
}

void imagePreviewPrintSetup(QWidget *parent) {
  // Opens on the current choice, so what the user set up last time stays.
  QPrinter &printer = applicationPrinter();
  QPageSetupDialog dialog(&printer, parent);
  dialog.exec();
}
