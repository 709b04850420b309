#include "view/ModelView.h"

#include "io/AtomicFile.h"
#include "session/SessionModel.h"
#include "view/SnapshotWriter.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

void ModelView::onSnapshot() {
  UiServices &ui = UiServices::instance();
  const QString path =
      ui.saveFileName(this, QStringLiteral("Save snapshot"), QString(),
                      {QStringLiteral("Bitmap file (*.bmp)")}, QStringLiteral("bmp"));
  if (path.isEmpty())
    return;
  const SessionModel *model = scene_->shownModel();
  const std::string input = model ? model->path : std::string();
  // The measurement the picture shows is never replaced by it.
  ExportResult written;
  if (const std::string problem =
          targetIsInputProblem(QFile::encodeName(path).toStdString(), input);
      !problem.empty()) {
    written = ExportResult::failure(problem);
  } else {
    // The snapshot shows the whole model, not the stand-in of an upload still running.
    const bool live = liveWindow;
    liveWindow = false;
    written = SaveWindowBitmap(path, *this);
    liveWindow = live;
  }
  // Success is only announced, and the preview only opened, once the file is complete.
  if (!written.ok) {
    ui.message(this, QStringLiteral("The snapshot could not be saved to %1.").arg(path),
               QString::fromStdString(written.message), UiServices::Icon::Warning);
    return;
  }
  ui.message(this, QStringLiteral("Snapshot was successful created!"));
  const QString source = QFileInfo(QFile::decodeName(QByteArray::fromStdString(input))).fileName();
  if (QFileInfo::exists(path))
    openImagePreviewFor(this, path,
                        snapshotTitle(source, display.upperTolerance, display.lowerTolerance,
                                      QDateTime::currentDateTime()));
}
