#include "view/view3d.h"

#include "analysis/SectionCsv.h"
#include "export/AtomicFile.h"
#include "session/SessionModel.h"
#include "view/DLGGenerateLine.h"
#include "view/GLPolyline3DList.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const GLPolyline3DList *sectionNode(ViewScene &scene) {
  return dynamic_cast<const GLPolyline3DList *>(scene.sectionCurves.head());
}
} // namespace

void view3d::onGenerateSectionCurve() {
  setCurrent(this);
  auto *dialog = new DLGGenerateLine(*this, window());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  sectionDialog = dialog;
  dialog->show();
  renderFrame();
}

bool view3d::sectionAvailable() { return true; }

bool view3d::hasSection() const { return scene_->sectionCurves.head() != nullptr; }

void view3d::setShowModel(bool show) {
  showModel = show;
  renderFrame();
  emit sectionChanged();
}

void view3d::onClearSection() {
  makeCurrent();
  scene_->sectionCurves.clear();
  scene_->clearPlane();
  doneCurrent();
  // The model was hidden only so that the section could be seen.
  setShowModel(true);
}

void view3d::onExportSection() {
  UiServices &ui = UiServices::instance();
  const GLPolyline3DList *curve = sectionNode(*scene_);
  if (!curve) {
    ui.message(this, QStringLiteral("There is no section to export."),
               QStringLiteral("Create one with Generate Section Curve first."),
               UiServices::Icon::Warning);
    return;
  }
  const SessionModel *model = scene_->shownModel();
  const std::string input = model ? model->path : std::string();
  const QFileInfo inputInfo(QFile::decodeName(QByteArray::fromStdString(input)));
  const QString inputName = inputInfo.fileName();
  // Beside the measurement, named after it.
  const QString suggested =
      inputName.isEmpty()
          ? QStringLiteral("section.csv")
          : inputInfo.dir().filePath(inputInfo.completeBaseName() + QStringLiteral("-section.csv"));
  const QString chosen =
      ui.saveFileName(this, QStringLiteral("Export section"), suggested,
                      {QStringLiteral("CSV file (*.csv)")}, QStringLiteral("csv"));
  if (chosen.isEmpty())
    return;
  const std::string target = QFile::encodeName(chosen).toStdString();
  std::string problem = targetIsInputProblem(target, input);
  if (problem.empty()) {
    SectionResult section;
    section.points = curve->points();
    section.colours = curve->colours();
    section.deviations = curve->deviations;
    section.deviations.resize(section.points.size(), 0.0f);
    AtomicFile out(target);
    out.write(sectionCsv(section));
    if (!out.commit())
      problem = out.error();
  }
  if (!problem.empty()) {
    ui.message(this, QStringLiteral("Exporting the section failed"),
               QString::fromStdString(problem), UiServices::Icon::Warning);
    return;
  }
  ui.message(this, QStringLiteral("Exporting successful"),
             QStringLiteral("The section of %1 (%2 points) was written to %3.")
                 .arg(inputName)
                 .arg(curve->count())
                 .arg(chosen));
}
