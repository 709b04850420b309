#include "view/view3d.h"

#include "export/ExportFile.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/ProgramSettings.h"
#include "view/UiServices.h"

#include <QFile>

namespace {
// The scale each format colours with: VRML takes the point cloud's own settings, U3D the
// view's tolerances, bars and filter with gradient and extended colours off.
ColourScale exportScale(ExportKind kind, const view3d &view, const GLPointCloud *cloud) {
  if (kind == ExportKind::U3d || !cloud)
    return ColourScale(static_cast<float>(view.upperTolerance),
                       static_cast<float>(view.lowerTolerance), view.colourBars, view.pointFilter,
                       false, false);
  return ColourScale(static_cast<float>(cloud->upperTolerance),
                     static_cast<float>(cloud->lowerTolerance), cloud->bandCount,
                     cloud->pointFilter, cloud->showGradient, cloud->extendedColours);
}
} // namespace

void view3d::onExport() {
  UiServices &ui = UiServices::instance();
  const QString chosen = ui.saveFileName(
      this, QStringLiteral("Dateiname und Pfad des Ziels angeben"), QStringLiteral("output"),
      {QStringLiteral("wrl file (*.wrl)"), QStringLiteral("u3d file (*.u3d)")},
      QStringLiteral("wrl"));
  if (chosen.isEmpty())
    return;
  const std::string target = QFile::encodeName(chosen).toStdString();
  const std::string sessionPath = currentSessionPath();
  const ExportKind kind = exportKindFor(target);
  // The exports read the session file again; a point text file would be misread as one.
  ExportResult result;
  if (sessionPath.empty())
    result = ExportResult::failure("No session file is loaded: export needs a session file.");
  else if (!isSessionFilePath(sessionPath))
    result = ExportResult::failure(sessionPath +
                                   " is a point text file: export needs a session file (.ses).");
  else
    result = exportSessionFile(target, sessionPath, exportScale(kind, *this, pointCloud()));
  if (result.ok)
    ui.message(this, QStringLiteral("Exporting successful"));
  else
    ui.message(this, QStringLiteral("Exporting failed"), QString::fromStdString(result.message),
               UiServices::Icon::Warning);
}

bool view3d::exportAvailable() { return true; }
