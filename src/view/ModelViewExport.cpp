#include "view/ModelView.h"

#include "document/Document.h"
#include "export/ExportFile.h"
#include "report/Pdf3dExport.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/BackgroundWork.h"
#include "view/UiServices.h"

#include <QFile>
#include <QImage>

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
  if (confirmSessionFile && !confirmSessionFile())
    return;
  UiServices &ui = UiServices::instance();
  QString filter;
  const QString typed = ui.saveFileName(
      this, QStringLiteral("Dateiname und Pfad des Ziels angeben"), QStringLiteral("output"),
      {QStringLiteral("wrl file (*.wrl)"), QStringLiteral("u3d file (*.u3d)"),
       QStringLiteral("3D PDF (*.pdf)"), QStringLiteral("glTF binary (*.glb)"),
       QStringLiteral("Web page (*.html)")},
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
  bool cancelled = false;
  if (!cloud || !cloud->model()) {
    result = ExportResult::failure("This window shows no model: there is nothing to export.");
  } else if (const std::string refused = exportRefusal(target, cloud->model()->path);
             !refused.empty()) {
    result = ExportResult::failure(refused);
  } else {
    const SessionModel &model = *cloud->model();
    const ColourScale scale = exportScale(kind, *this, cloud);
    // The shared formats are built as the command line builds them, from the settings their
    // colours take, with the banners and distances this window shows now, saved or not; the
    // web page keeps its budget.
    const Document &live = document();
    const ShareScene scene = shareSceneFor(model, cloud->display, live.banners(), live.distances());
    // The poster is drawn here, on the thread that holds the GL context; the file is written
    // on a worker.
    QImage poster;
    std::string posterError;
    if (kind == ExportKind::Pdf3d)
      poster = drawOffscreen(pdf3dPosterSize(), posterError);
    emit statusMessage(QStringLiteral("Exporting %1...").arg(chosen));
    result = writeInBackground(
        this, QStringLiteral("Exporting..."), target, {model.path},
        [&](const std::string &path) {
          if (kind != ExportKind::Pdf3d)
            return exportModelFile(path, model, scale, scene);
          return export3dPdf(path, model, scale, [&](QSize, std::string &error) {
            error = posterError;
            return poster;
          });
        },
        cancelled);
  }
  if (cancelled) {
    emit statusMessage(QStringLiteral("Export cancelled: %1 was left as it was").arg(chosen));
    return;
  }
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
