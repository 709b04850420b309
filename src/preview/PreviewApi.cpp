#include "preview/PreviewApi.h"

#include <QLabel>
#include <QString>

QWidget *createImagePreview(const QString &path, QWidget *parent) {
  return new QLabel(path, parent);
}
void printImagePreview(QWidget *) {}
void printPreviewImagePreview(QWidget *) {}
void imagePreviewPrintSetup(QWidget *) {}
