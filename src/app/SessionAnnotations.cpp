#include "app/SessionAnnotations.h"

#include "app/SessionDocument.h"
#include "records/CalloutTable.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/ModelView.h"
#include "view/SceneRecord.h"
#include "view/SettingsDialog.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>
#include <sys/stat.h>

namespace {
std::string local(const QString &path) { return QFile::encodeName(path).toStdString(); }
QString fromLocal(const std::string &path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}
void status(const QString &text) { SessionDocument::ShowStatusText(text); }
} // namespace

SessionAnnotations::SessionAnnotations(ModelView &view, const QString &sessionPath)
    : view_(&view), sessionPath_(sessionPath),
      sidecarPath_(fromLocal(sidecarPathFor(local(sessionPath)))), targetPath_(sidecarPath_) {
  // What the window shows right after loading is what "unsaved" is measured against until
  // a record is restored or saved.
  baseline_ = comparable(captureAnnotations(view, view.scene()));
}

SessionAnnotations::~SessionAnnotations() { waitForWork(); }

void SessionAnnotations::startRestore() {
  const GLPointCloud *cloud = view_ ? view_->pointCloud() : nullptr;
  const SessionModel *model = cloud ? cloud->model() : nullptr;
  if (!model || worker_)
    return;
  const std::string sidecar = local(sidecarPath_);
  // The checksum reads every point (a tenth of a second for ten million) and the record may
  // be large: neither holds up the window.
  worker_.reset(QThread::create([this, model, sidecar] {
    identity_ = ModelIdentity::of(*model);
    struct stat st {};
    if (::lstat(sidecar.c_str(), &st) == 0)
      read_ = readAnnotationsFor(sidecar, identity_);
    else
      read_.absent = true;
  }));
  connect(worker_.get(), &QThread::finished, this, &SessionAnnotations::finishRestore);
  worker_->start();
}

void SessionAnnotations::waitForWork() {
  if (worker_)
    worker_->wait();
}

bool SessionAnnotations::restoring() const { return worker_ && !settled_; }

const ModelIdentity &SessionAnnotations::identity() {
  // A save during the restore must not write the window without what the sidecar holds:
  // the restore is finished first.
  if (!worker_)
    startRestore();
  waitForWork();
  finishRestore();
  return identity_;
}

void SessionAnnotations::finishRestore() {
  if (settled_ || !worker_)
    return;
  settled_ = true;
  ModelView *view = view_.data();
  if (!view)
    return;
  if (read_.absent) {
    emit restoreFinished(false);
    return;
  }
  const QString name = QFileInfo(sidecarPath_).fileName();
  if (!read_.ok) {
    // Left as it is: a later save asks before replacing it.
    status(QStringLiteral("Ready"));
    UiServices::instance().message(
        view, QStringLiteral("The annotations in %1 were not applied.").arg(name),
        QString::fromStdString(read_.error) +
            QStringLiteral("\n\nThe model opens without them and the file is left as it is."),
        UiServices::Icon::Warning);
    emit restoreFinished(false);
    return;
  }
  view->makeCurrent();
  const AppliedNodes added = applyAnnotations(read_.annotations, *view, view->scene());
  view->doneCurrent();
  // Undo stops at the restored record.
  view->resetHistory();
  view->notifyAnnotationsChanged();
  if (view->settingsDialog)
    view->settingsDialog->loadFromView();
  if (added.section)
    view->notifySectionChanged();
  view->renderFrame();
  baseline_ = comparable(captureAnnotations(*view, view->scene()));
  QStringList notes;
  for (const std::string &n : read_.notes)
    notes << QString::fromStdString(n);
  status(notes.isEmpty() ? QStringLiteral("Annotations restored")
                         : QStringLiteral("Annotations restored (%1)").arg(notes.join("; ")));
  emit restoreFinished(true);
}

Annotations SessionAnnotations::comparable(Annotations a) {
  a.camera = {};
  a.session = {};
  return a;
}

Annotations SessionAnnotations::record() {
  Annotations a;
  if (ModelView *view = view_.data())
    a = captureAnnotations(*view, view->scene());
  a.session = identity();
  return a;
}

bool SessionAnnotations::hasUnsavedChanges() {
  ModelView *view = view_.data();
  if (!view || !view->pointCloud())
    return false;
  return !(comparable(captureAnnotations(*view, view->scene())) == baseline_);
}

bool SessionAnnotations::write(QWidget *parent, const QString &path, ExistingFile existing) {
  const Annotations a = record();
  const ExportResult r = writeAnnotations(local(path), a, local(sessionPath_), existing);
  if (!r.ok) {
    UiServices::instance().message(parent, QStringLiteral("The annotations were not saved."),
                                   QString::fromStdString(r.message), UiServices::Icon::Warning);
    return false;
  }
  baseline_ = comparable(a);
  targetPath_ = path;
  status(QStringLiteral("Annotations saved to %1").arg(QFileInfo(path).fileName()));
  return true;
}

bool SessionAnnotations::save(QWidget *parent) {
  if (!view_ || !view_->pointCloud())
    return false;
  // A file there that is not a record of this model is replaced only when the user says so.
  struct stat st {};
  const std::string target = local(targetPath_);
  if (::lstat(target.c_str(), &st) == 0) {
    const AnnotationsReadResult old = readAnnotationsFor(target, identity());
    if (!old.ok) {
      const bool replace = UiServices::instance().question(
          parent,
          QStringLiteral("%1 is not an annotation record of this model:\n%2\n\nReplace it with "
                         "the annotations of this window? (No chooses another file.)")
              .arg(QFileInfo(targetPath_).fileName(), QString::fromStdString(old.error)),
          QStringLiteral("Save annotations"));
      return replace ? write(parent, targetPath_, ExistingFile::Replace) : saveAs(parent);
    }
  }
  return write(parent, targetPath_, ExistingFile::Keep);
}

bool SessionAnnotations::saveAs(QWidget *parent) {
  if (!view_ || !view_->pointCloud())
    return false;
  const QString chosen = UiServices::instance().saveFileName(
      parent, QStringLiteral("Save annotations as"), targetPath_,
      {QStringLiteral("Annotations (*.json)")}, QStringLiteral("json"));
  if (chosen.isEmpty())
    return false;
  // The file dialog has asked before replacing an existing file.
  return write(parent, chosen, ExistingFile::Replace);
}

bool SessionAnnotations::confirmClose(QWidget *parent) {
  if (!hasUnsavedChanges())
    return true;
  switch (UiServices::instance().saveChanges(
      parent, QStringLiteral("Save annotations?"),
      QStringLiteral("The banners, distances, comments or settings of %1 have changed.")
          .arg(QFileInfo(sessionPath_).fileName()))) {
  case UiServices::SaveChoice::Save:
    return save(parent);
  case UiServices::SaveChoice::Discard:
    return true;
  default:
    return false;
  }
}

bool SessionAnnotations::exportCallouts(QWidget *parent) {
  ModelView *view = view_.data();
  if (!view)
    return false;
  UiServices &ui = UiServices::instance();
  const SceneCallouts callouts = calloutsOf(*view, view->scene());
  if (callouts.rows.empty()) {
    ui.message(parent, QStringLiteral("There are no callouts to export."),
               QStringLiteral("Pin banners or measure distances first."),
               UiServices::Icon::Warning);
    return false;
  }
  const QFileInfo session(sessionPath_);
  const QString chosen = ui.saveFileName(
      parent, QStringLiteral("Export callouts"),
      session.dir().filePath(session.completeBaseName() + QStringLiteral("-callouts.csv")),
      {QStringLiteral("CSV file (*.csv)")}, QStringLiteral("csv"));
  if (chosen.isEmpty())
    return false;
  const ExportResult r = writeCalloutCsv(
      local(chosen), callouts.rows, {local(sessionPath_), local(sidecarPath_), local(targetPath_)});
  if (!r.ok) {
    ui.message(parent, QStringLiteral("Exporting the callouts failed"),
               QString::fromStdString(r.message), UiServices::Icon::Warning);
    return false;
  }
  status(QStringLiteral("%1 callout rows written to %2")
             .arg(callouts.rows.size())
             .arg(QFileInfo(chosen).fileName()));
  return true;
}
