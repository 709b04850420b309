#include "app/SessionAnnotations.h"

#include "document/Document.h"
#include "records/CalloutTable.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/ModelView.h"
#include "view/SceneRecord.h"
#include "view/SceneSync.h"
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
} // namespace

SessionAnnotations::SessionAnnotations(ModelView &view, Document &document,
                                       std::function<void(const QString &)> status)
    : view_(&view), doc_(document), status_(std::move(status)),
      sessionPath_(fromLocal(document.sessionPath())),
      sidecarPath_(fromLocal(document.sidecarPath())), targetPath_(sidecarPath_) {
  doc_.setTargetPath(local(targetPath_));
  // What the window shows right after loading is what "unsaved" is measured against until
  // a record is restored or saved.
  pull();
  doc_.markSaved();
  // The report and the exports read the session file again: they ask first when it changed.
  view.confirmSessionFile = [this, v = &view] { return checkSessionFile(v); };
}

void SessionAnnotations::status(const QString &text) const {
  if (status_)
    status_(text);
}

SessionAnnotations::~SessionAnnotations() {
  waitForWork();
  if (view_)
    view_->confirmSessionFile = nullptr;
}

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
  doc_.setIdentity(identity_);
  ModelView *view = view_.data();
  if (!view)
    return;
  // What the window read is what a later save compares the file with, refused or not.
  doc_.setSidecarIdentity(read_.identity);
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
  std::vector<std::string> found = read_.notes;
  applyRecord(read_.annotations, found);
  QStringList notes;
  for (const std::string &n : found)
    notes << QString::fromStdString(n);
  status(notes.isEmpty() ? QStringLiteral("Annotations restored")
                         : QStringLiteral("Annotations restored (%1)").arg(notes.join("; ")));
  emit restoreFinished(true);
}

void SessionAnnotations::applyRecord(const Annotations &record, std::vector<std::string> &notes) {
  ModelView *view = view_.data();
  if (!view)
    return;
  // Comment positions are pixels of the view the record was made in: shown (and kept)
  // proportionally in this one.
  Annotations shown = record;
  const CameraRecord &c = record.camera;
  const double sx = c.viewWidth && *c.viewWidth > 0 ? double(view->viewWidth) / *c.viewWidth : 1.0;
  const double sy =
      c.viewHeight && *c.viewHeight > 0 ? double(view->viewHeight) / *c.viewHeight : 1.0;
  for (CommentRecord &comment : shown.comments) {
    comment.x *= sx;
    comment.y *= sy;
  }
  view->makeCurrent();
  view->selectOnly(nullptr);
  // A record replaces what the window shows (a restore finds nothing yet; a reload drops
  // the window's own section; the document's records replace its banners and comments).
  ViewScene &scene = view->scene();
  const bool hadSection = view->hasSection();
  if (hadSection) {
    scene.sectionCurves.clear();
    scene.section.reset();
    scene.clearPlane();
    view->showModel = true;
  }
  // Checked again whatever its source: nothing is drawn from a value the dialog refuses.
  for (std::string &n : doc_.restore(shown))
    notes.push_back(std::move(n));
  // Settings, camera and section as the record says; the labels are coloured by the
  // settings, so they are drawn again after them.
  Annotations rest = doc_.annotations();
  rest.banners.clear();
  rest.distances.clear();
  rest.comments.clear();
  const AppliedNodes added = applyAnnotations(rest, *view, scene);
  view->sync().rebuild();
  view->doneCurrent();
  // Undo stops at the restored record.
  view->resetHistory();
  view->notifyAnnotationsChanged();
  if (view->settingsDialog)
    view->settingsDialog->loadFromView();
  if (added.section || hadSection)
    view->notifySectionChanged();
  view->renderFrame();
  pull();
  doc_.markSaved();
}

void SessionAnnotations::pull() {
  // The settings and the section are still set by their dialogs on the view: the document
  // takes them from there.
  ModelView *view = view_.data();
  if (!view)
    return;
  doc_.setDisplay(displaySettingsOf(*view, view->pointCloud()));
  doc_.setCamera(cameraOf(*view));
  doc_.setSection(sectionOf(view->scene()));
}

Annotations SessionAnnotations::record() {
  identity();
  pull();
  return doc_.annotations();
}

bool SessionAnnotations::hasUnsavedChanges() {
  ModelView *view = view_.data();
  if (!view || !view->pointCloud())
    return false;
  pull();
  return doc_.hasUnsavedChanges();
}

bool SessionAnnotations::write(QWidget *parent, const QString &path, ExistingFile existing) {
  const Annotations a = record();
  const AnnotationsWriteResult r = writeAnnotations(local(path), a, local(sessionPath_), existing);
  if (!r.ok) {
    UiServices::instance().message(parent, QStringLiteral("The annotations were not saved."),
                                   QString::fromStdString(r.message), UiServices::Icon::Warning);
    return false;
  }
  doc_.markSaved();
  targetPath_ = path;
  doc_.setTargetPath(local(path));
  doc_.setSidecarIdentity(r.identity);
  status(QStringLiteral("Annotations saved to %1").arg(QFileInfo(path).fileName()));
  return true;
}

bool SessionAnnotations::save(QWidget *parent) {
  if (!view_ || !view_->pointCloud())
    return false;
  if (!checkSessionFile(parent))
    return false;
  // Another window or program saved there since this window read or wrote the file: its
  // work is never replaced silently. (The restore finishes first: it records what was read.)
  identity();
  if (doc_.sidecarChangedOnDisk()) {
    const QString name = QFileInfo(targetPath_).fileName();
    switch (UiServices::instance().choose(
        parent, QStringLiteral("%1 changed on disk.").arg(name),
        QStringLiteral("Another window or program saved annotations there since this window "
                       "read or saved them. Replace them with the annotations of this window, "
                       "reload theirs (the changes of this window are lost), or save this "
                       "window's annotations to another file?"),
        {QStringLiteral("Replace"), QStringLiteral("Reload theirs"),
         QStringLiteral("Save as...")})) {
    case 0:
      return write(parent, targetPath_, ExistingFile::Replace);
    case 1:
      reloadTarget(parent);
      return false;
    case 2:
      return saveAs(parent);
    default:
      return false;
    }
  }
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

bool SessionAnnotations::reloadTarget(QWidget *parent) {
  if (!view_ || !view_->pointCloud())
    return false;
  const AnnotationsReadResult theirs = readAnnotationsFor(local(targetPath_), identity());
  if (!theirs.ok) {
    UiServices::instance().message(parent,
                                   QStringLiteral("The annotations in %1 were not applied.")
                                       .arg(QFileInfo(targetPath_).fileName()),
                                   QString::fromStdString(theirs.error) +
                                       QStringLiteral("\n\nThe window keeps its own annotations."),
                                   UiServices::Icon::Warning);
    return false;
  }
  std::vector<std::string> found = theirs.notes;
  applyRecord(theirs.annotations, found);
  doc_.setSidecarIdentity(theirs.identity);
  QStringList notes;
  for (const std::string &n : found)
    notes << QString::fromStdString(n);
  status(notes.isEmpty() ? QStringLiteral("Annotations reloaded")
                         : QStringLiteral("Annotations reloaded (%1)").arg(notes.join("; ")));
  return true;
}

bool SessionAnnotations::checkSessionFile(QWidget *parent) {
  if (!doc_.sessionChangedOnDisk())
    return true;
  const int choice = UiServices::instance().choose(
      parent, QStringLiteral("%1 changed on disk.").arg(QFileInfo(sessionPath_).fileName()),
      QStringLiteral("The session file is not the one this window opened. Reload opens it "
                     "again in this window (annotations not saved are lost); Keep goes on "
                     "with the model shown."),
      {QStringLiteral("Reload"), QStringLiteral("Keep")});
  if (choice == 0) {
    emit reloadRequested();
    return false;
  }
  if (choice == 1) {
    // Asked again only when the file changes once more.
    doc_.setSessionIdentity(doc_.sessionIdentityOnDisk());
    return true;
  }
  return false;
}

void SessionAnnotations::discardChanges() {
  pull();
  doc_.markSaved();
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
  const SceneCallouts callouts = calloutsOf(*view);
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
