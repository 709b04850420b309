#include "app/SessionDocument.h"

#include "app/MainWindow.h"
#include "app/SessionAnnotations.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/LoadStep.h"
#include "view/ModelView.h"
#include "view/ProgramSettings.h"
#include "view/ViewScene.h"

namespace {
SessionDocument *currentDoc = nullptr;
}

SessionDocument::SessionDocument() : pending_(std::make_unique<SessionModel>()) {
  model_ = pending_.get();
  currentDoc = this;
}

SessionDocument::~SessionDocument() {
  annotations_.reset();
  if (currentDoc == this)
    currentDoc = nullptr;
}

SessionDocument *SessionDocument::current() { return currentDoc; }

void SessionDocument::setCurrent(SessionDocument *doc) { currentDoc = doc; }

SessionModel *SessionDocument::sessionModel() const { return model_; }

void SessionDocument::ShowStatusText(const QString &text) {
  if (MainWindow *frame = MainWindow::instance())
    frame->showStatusText(text);
}

bool SessionDocument::readFile(const QString &path, QString &error) {
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

void SessionDocument::attachToView(ModelView &view) {
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
