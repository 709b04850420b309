#include "app/VelmoraViewerWE_Doc.h"

#include "app/CMainFrame.h"
#include "app/SessionAnnotations.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/LoadStep.h"
#include "view/ProgramSettings.h"
#include "view/ViewScene.h"
#include "view/view3d.h"

namespace {
VelmoraViewerWE_Doc *currentDoc = nullptr;
}

VelmoraViewerWE_Doc::VelmoraViewerWE_Doc() : pending_(std::make_unique<SessionModel>()) {
  model_ = pending_.get();
  currentDoc = this;
}

VelmoraViewerWE_Doc::~VelmoraViewerWE_Doc() {
  annotations_.reset();
  if (currentDoc == this)
    currentDoc = nullptr;
}

VelmoraViewerWE_Doc *VelmoraViewerWE_Doc::current() { return currentDoc; }

void VelmoraViewerWE_Doc::setCurrent(VelmoraViewerWE_Doc *doc) { currentDoc = doc; }

SessionModel *VelmoraViewerWE_Doc::sessionModel() const { return model_; }

void VelmoraViewerWE_Doc::ShowStatusText(const QString &text) {
  if (CMainFrame *frame = CMainFrame::instance())
    frame->showStatusText(text);
}

bool VelmoraViewerWE_Doc::readFile(const QString &path, QString &error) {
  ShowStatusText(QStringLiteral("Is loading..."));
  if (!pending_) {
    pending_ = std::make_unique<SessionModel>();
    model_ = pending_.get();
  }
  std::string message;
  const std::string p = path.toStdString();
  if (!readModelFile(p, *pending_, isSessionFile_, message)) {
    error = QString::fromStdString(message);
    ShowStatusText(QStringLiteral("Ready"));
    return false;
  }
  path_ = path;
  return true;
}

void VelmoraViewerWE_Doc::attachToView(view3d &view) {
  if (!pending_)
    return;
  // Nodes create and drop display lists of the view's context.
  view.makeCurrent();
  if (pointCloud_) {
    view.scene().clearModels();
    pointCloud_ = nullptr;
  }
  // Upload progress and the settings' apply step report in the status bar.
  view.scene().showStatus = [](const char *t) { ShowStatusText(QString::fromLatin1(t)); };
  // The exports read the file again, so the path is only recorded once it was accepted.
  setCurrentSessionPath(path_.toStdString());
  const LoadStepResult r =
      runLoadStep(view, view.scene(), std::move(pending_), isSessionFile_,
                  [](const char *t) { ShowStatusText(QString::fromLatin1(t)); });
  pointCloud_ = r.node;
  model_ = pointCloud_ ? pointCloud_->model() : nullptr;
  hasNominalPoints_ = r.hasNominalPoints;
  view.hasNominalPoints = hasNominalPoints_;
  view.doneCurrent();
  annotations_ = std::make_unique<SessionAnnotations>(view, path_);
}
