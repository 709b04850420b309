#include "preview/ImagePreviewDocument.h"

#include <QFile>

bool ImagePreviewDocument::openDocument(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return false;
  file.close();
  path_ = path;
  picture.load(path);
  return true;
}
