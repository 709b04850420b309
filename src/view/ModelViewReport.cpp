#include "view/ModelView.h"

#include "document/Document.h"

#include "records/Annotations.h"
#include "report/InspectionReport.h"
#include "report/ReportRecord.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/BackgroundWork.h"
#include "view/SceneRecord.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// What the view's legend shows: its tolerances and bars, the model's colour switches.
DisplaySettings viewLegend(const ModelView &view, const GLPointCloud &cloud) {
  DisplaySettings d = view.display;
  d.gradient = cloud.display.gradient;
  d.extendedColours = cloud.display.extendedColours;
  return d;
}
} // namespace

void ModelView::onCreateReport() {
  if (confirmSessionFile && !confirmSessionFile())
    return;
  UiServices &ui = UiServices::instance();
  const GLPointCloud *cloud = pointCloud();
  if (!cloud || !cloud->model()) {
    ui.message(this, QStringLiteral("Creating the report failed"),
               QStringLiteral("This window shows no model: there is nothing to report."),
               UiServices::Icon::Warning);
    return;
  }
  const SessionModel &model = *cloud->model();
  const QFileInfo source(QFile::decodeName(QByteArray::fromStdString(model.path)));
  const QString chosen = ui.saveFileName(
      this, QStringLiteral("Create report"),
      source.dir().filePath(source.completeBaseName() + QStringLiteral("-report.pdf")),
      {QStringLiteral("PDF report (*.pdf)")}, QStringLiteral("pdf"));
  if (chosen.isEmpty())
    return;
  const std::string target = QFile::encodeName(chosen).toStdString();

  // The window's model as loaded, with its current tolerances and legend, and its current
  // camera drawn offscreen at the printed size of the report's picture.
  ReportContent content =
      reportContentFor(model, isSessionFilePath(model.path), viewLegend(*this, *cloud));
  // The window's own banners and distances, with their comments: what it shows now, saved
  // or not (a sidecar beside the file was restored into the window when it opened).
  const Document &live = document();
  if (!live.banners().empty() || !live.distances().empty()) {
    content.haveCallouts = true;
    content.callouts = calloutRows(model, live.banners(), live.distances(), display.lowerTolerance,
                                   display.upperTolerance, display.gradient);
  }
  std::string error;
  const double aspect = height() > 0 ? double(width()) / double(height()) : 1.5;
  // Without the pixel-sized legend, scale and axes: the report paints them at print size.
  overlays = false;
  content.snapshot = drawOffscreen(reportSnapshotSize(aspect), error);
  overlays = true;
  if (!content.snapshot.isNull()) {
    content.mmPerPixel = pixelSize() * double(viewHeight) / double(content.snapshot.height());
    content.rotation = rotation.accumulated;
  }
  // The picture is drawn above, on the thread that holds the GL context; the PDF is written
  // on a worker.
  bool cancelled = false;
  const ExportResult result =
      content.snapshot.isNull()
          ? ExportResult::failure(target + ": the picture of the view could not be drawn: " + error)
          : writeInBackground(
                this, QStringLiteral("Creating the report..."), target, content.inputs,
                [&](const std::string &path) { return writeInspectionReport(path, content); },
                cancelled);
  if (cancelled) {
    emit statusMessage(QStringLiteral("Report cancelled: %1 was left as it was").arg(chosen));
    return;
  }
  if (result.ok)
    ui.message(
        this, QStringLiteral("Report created"),
        QStringLiteral("The report of %1 was written to %2.").arg(source.fileName(), chosen));
  else
    ui.message(this, QStringLiteral("Creating the report failed"),
               QString::fromStdString(result.message), UiServices::Icon::Warning);
}
