#include "view/ModelView.h"

#include "export/ExportFile.h"
#include "report/Pdf3dExport.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/ProgramSettings.h"
#include "view/UiServices.h"

#include <QFile>

namespace {
// The scale each format colours with: VRML takes the point cloud's own settings, U3D the
// view's tolerances, bars and filter with gradient and extended colours off.
ColourScale exportScale(ExportKind kind, const ModelView &view, const GLPointCloud *cloud) {
  // The 3D PDF carries the U3D scene, coloured alike.
  if (kind == ExportKind::U3d || kind == ExportKind::Pdf3d || !cloud) {
    DisplaySettings plain = view.display;
    plain.gradient = plain.extendedColours = false;
    return modelScale(plain);
  }
  return modelScale(cloud->display);
}
} // namespace

void ModelView::onExport() {
  UiServices &ui = UiServices::instance();
  QString filter;
  const QString typed = ui.saveFileName(
      this, QStringLiteral("Dateiname und Pfad des Ziels angeben"), QStringLiteral("output"),
      {QStringLiteral("wrl file (*.wrl)"), QStringLiteral("u3d file (*.u3d)"),
       QStringLiteral("3D PDF (*.pdf)")},
      QStringLiteral("wrl"), &filter);
  if (typed.isEmpty())
    return;
  // A bare name takes the format of the filter chosen.
  const QString chosen = UiServices::withFilterSuffix(typed, filter);
  const std::string target = QFile::encodeName(chosen).toStdString();
  const ExportKind kind = exportKindFor(target);
  // The model this window shows, as it was loaded: the file is not read again, so another
  // window's file, or a file moved or deleted since, cannot change what is written.
  const GLPointCloud *cloud = pointCloud();
  ExportResult result;
  if (!cloud || !cloud->model())
    result = ExportResult::failure("This window shows no model: there is nothing to export.");
  else if (kind == ExportKind::Pdf3d)
    result =
        export3dPdf(target, *cloud->model(), exportScale(kind, *this, cloud),
                    [this](QSize size, std::string &error) { return drawOffscreen(size, error); });
  else
    result = exportModelFile(target, *cloud->model(), exportScale(kind, *this, cloud));
  const QString source = cloud && cloud->model()
                             ? QFile::decodeName(QByteArray::fromStdString(cloud->model()->path))
                             : QString();
  if (result.ok)
    ui.message(this, QStringLiteral("Exporting successful"),
               QStringLiteral("%1 was exported to %2.").arg(source, chosen));
  else
    ui.message(this, QStringLiteral("Exporting failed"),
               source.isEmpty() ? QString::fromStdString(result.message)
                                : QStringLiteral("%1: %2").arg(source).arg(
                                      QString::fromStdString(result.message)),
               UiServices::Icon::Warning);
}
