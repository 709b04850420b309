#pragma once
#include <QString>
class QWidget;

// The image preview document type, as the application shell uses it.

// Creates the preview view of a picture file (a file that cannot be decoded shows only the
// background); title, when given, is printed above the picture. The caller puts it into a
// document window. Null when the file cannot be opened at all.
QWidget *createImagePreview(const QString &path, QWidget *parent, const QString &title = {});
// Print (Ctrl+P), Print Preview and Print Setup of the image preview menu.
void printImagePreview(QWidget *preview);
void printPreviewImagePreview(QWidget *preview);
void imagePreviewPrintSetup(QWidget *parent);
