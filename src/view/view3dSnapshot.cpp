#include "view/view3d.h"

#include "view/SnapshotWriter.h"
#include "view/UiServices.h"

#include <QFileInfo>

void view3d::onSnapshot() {
  UiServices &ui = UiServices::instance();
  const QString path =
      ui.saveFileName(this, QStringLiteral("Save snapshot"), QString(),
                      {QStringLiteral("Bitmap file (*.bmp)")}, QStringLiteral("bmp"));
  if (path.isEmpty())
    return;
  // The snapshot shows the whole model, not the stand-in of an upload still running.
  const bool live = liveWindow;
  liveWindow = false;
  const ExportResult written = SaveWindowBitmap(path, *this);
  liveWindow = live;
  // Success is only announced, and the preview only opened, once the file is complete.
  if (!written.ok) {
    ui.message(this, QStringLiteral("The snapshot could not be saved to %1.").arg(path),
               QString::fromStdString(written.message), UiServices::Icon::Warning);
    return;
  }
  ui.message(this, QStringLiteral("Snapshot was successful created!"));
  if (QFileInfo::exists(path))
    openImagePreviewFor(this, path);
}

bool view3d::snapshotAvailable() { return true; }
