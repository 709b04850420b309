#include "view/ModelView.h"

#include "analysis/SectionCsv.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"
#include "view/PolylineNode.h"
#include "view/SectionDialog.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const PolylineNode *sectionNode(ViewScene &scene) {
  return dynamic_cast<const PolylineNode *>(scene.sectionCurves.head());
}
} // namespace

void ModelView::onGenerateSectionCurve() {
  auto *dialog = new SectionDialog(*this, window());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  sectionDialog = dialog;
  dialog->show();
  renderFrame();
}

bool ModelView::hasSection() const { return scene_->sectionCurves.head() != nullptr; }

void ModelView::setShowModel(bool show) {
  showModel = show;
  renderFrame();
  emit sectionChanged();
}

void ModelView::onClearSection() {
  makeCurrent();
  scene_->sectionCurves.clear();
  scene_->section.reset();
  scene_->clearPlane();
  doneCurrent();
  // The model was hidden only so that the section could be seen.
  setShowModel(true);
}

void ModelView::onExportSection() {
  UiServices &ui = UiServices::instance();
  const PolylineNode *curve = sectionNode(*scene_);
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
