#pragma once
#include "preview/Picture.h"

#include <QObject>
#include <QString>

// The image preview document: one picture file with the zoom and position it is drawn at.
class ImagePreviewDocument : public QObject {
  Q_OBJECT
public:
  explicit ImagePreviewDocument(QObject *parent = nullptr) : QObject(parent) {}

  // Opens the file and loads the picture. False only when the file cannot be opened; a
  // file that opens but does not decode leaves the document without a picture (the view
  // then shows only the background), as nothing is reported for it.
  bool openDocument(const QString &path);
  const QString &path() const { return path_; }

  // The line printed above the picture; empty: the picture file's name and date.
  QString title;
  Picture picture;
  double zoom = 1.0;
  int x = 0;
  int y = 0;

private:
  QString path_;
};
