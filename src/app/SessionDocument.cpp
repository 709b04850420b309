#include "app/SessionDocument.h"

#include "app/SessionAnnotations.h"
#include "document/Document.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/LoadStep.h"
#include "view/ModelView.h"
#include "view/ViewScene.h"

SessionDocument::SessionDocument() : pending_(std::make_unique<SessionModel>()) {
  model_ = pending_.get();
}

SessionDocument::~SessionDocument() { annotations_.reset(); }

SessionModel *SessionDocument::sessionModel() const { return model_; }

bool SessionDocument::readFile(const QString &path, QString &error) {
  const auto ShowStatusText = [this](const QString &t) {
    if (showStatus)
      showStatus(t);
  };
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
  // The identity is taken now: a change on disk after this point is another program's.
  document_ = std::make_shared<Document>(p, nullptr);
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
  const auto report = [status = showStatus](const char *t) {
    if (status)
      status(QString::fromLatin1(t));
  };
  view.scene().showStatus = report;
  const LoadStepResult r =
      runLoadStep(view, view.scene(), std::move(pending_), isSessionFile_, report);
  pointCloud_ = r.node;
  model_ = pointCloud_ ? pointCloud_->model() : nullptr;
  hasNominalPoints_ = r.hasNominalPoints;
  view.hasNominalPoints = hasNominalPoints_;
  view.doneCurrent();
  // The point cloud owns the model and lives as long as the window; the document only
  // refers to it (an aliasing pointer without an owner).
  document_->setModel(std::shared_ptr<const SessionModel>(std::shared_ptr<void>(), model_));
  view.setDocument(document_);
  annotations_ = std::make_unique<SessionAnnotations>(view, *document_, showStatus);
}
