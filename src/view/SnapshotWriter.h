#pragma once
#include "export/BitmapFile.h"
#include "io/ExportResult.h"

#include <QString>
#include <functional>

class QDateTime;
class QImage;
class QOpenGLWidget;
class QWidget;

// The 32-bit bitmap (rows bottom-up, blue, green, red, spare byte 0) of an image as the
// screen shows it (rows top-down).
BitmapImage bitmapFromFrame(const QImage &frame);

// Writes what the OpenGL view shows, at the view's size, as a 32-bit bitmap file. The
// pixels are read back from the view's frame; the file is written under a temporary name
// and renamed over path only when complete, so a failure leaves an existing file as it was.
ExportResult SaveWindowBitmap(const QString &path, QOpenGLWidget &view);

// The line printed above a snapshot: the measured file's name, when the snapshot was taken
// and the tolerance band the view coloured with.
QString snapshotTitle(const QString &sourceFile, double upperTolerance, double lowerTolerance,
                      const QDateTime &when);

// Who opens a written snapshot as an image preview document (the main frame installs
// itself); title is the line printed above the picture (empty: the preview makes its own).
// Returns whether a preview window opened.
using ImagePreviewOpener = std::function<bool(const QString &path, const QString &title)>;
void setImagePreviewOpener(ImagePreviewOpener opener);
// Asks the installed opener, or else the view's top-level window through its invokable
// bool openImagePreview(QString, QString); false when neither is there.
bool openImagePreviewFor(QWidget *view, const QString &path, const QString &title = {});
