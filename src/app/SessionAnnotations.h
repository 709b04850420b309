#pragma once
#include "records/AnnotationsFile.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Document;
class QThread;
class QWidget;
class ModelView;

// The annotation record of one open session window: restores the sidecar
// (NAME.ses.velmora.json) when the file opens, saves the window's banners, distances,
// comments, settings, camera and section, exports the callout table, and says whether
// closing the window would lose work. A sidecar that does not belong to the model is
// neither applied nor replaced without asking, nor one that another window or program wrote
// since this window read or wrote it; a session file changed on disk is not worked on
// without asking either. The window's file facts are kept in its Document.
class SessionAnnotations : public QObject {
  Q_OBJECT
public:
  // status shows a text in the frame's status bar (may be empty).
  SessionAnnotations(ModelView &view, Document &document,
                     std::function<void(const QString &)> status = {});
  ~SessionAnnotations() override;

  // Computes the model's identity and reads the sidecar off the GUI thread; the record is
  // applied (or its refusal shown) once both are there. The window stays responsive.
  void startRestore();
  // Waits for that work; the model must outlive it.
  void waitForWork();
  bool restoring() const;

  // The window's record as it would be saved.
  Annotations record();
  // The banners, distances, comments, callout comments, settings or section differ from
  // what was last saved or restored (the camera alone does not count).
  bool hasUnsavedChanges();

  // Save annotations: writes the target. When the session file changed on disk, asks
  // first (checkSessionFile); when another window or program wrote the target since this
  // window read or wrote it, asks "Replace" / "Reload theirs" / "Save as..."; when a file
  // there is not a record of this model, asks before replacing it (No offers "Save as"
  // instead). False when nothing was written.
  bool save(QWidget *parent);
  // Save annotations as: asks for a file (the dialog asks before replacing one).
  bool saveAs(QWidget *parent);
  // With unsaved changes asks "Save annotations?" (Save / Discard / Cancel); false when the
  // window must stay open (Cancel, or a save that did not happen).
  bool confirmClose(QWidget *parent);
  // Reads the target again and shows its record in place of the window's banners,
  // distances, comments, settings and section (checked as on opening). False when the file
  // was refused (the window keeps what it shows).
  bool reloadTarget(QWidget *parent);
  // When the session file is not the one opened (size or time changed), asks "NAME changed
  // on disk": Reload (emits reloadRequested, false) or Keep (goes on with the model in
  // memory, true; asked again only after another change). True when it did not change.
  bool checkSessionFile(QWidget *parent);
  // Shows a record (checked as on opening) in place of the window's banners, distances,
  // comments, settings and section, as what was last saved; sanitize's notes are added to
  // notes. Undo stops there.
  void applyRecord(const Annotations &record, std::vector<std::string> &notes);
  // Forgets the unsaved changes (the window is about to be reloaded).
  void discardChanges();
  // Export callouts: the callout table as CSV, never over the session file or the record.
  bool exportCallouts(QWidget *parent);

signals:
  // The restore finished: the record was applied, or there was none, or it was refused.
  void restoreFinished(bool applied);
  // The user chose to reopen the session file, which changed on disk.
  void reloadRequested();

private:
  void finishRestore();
  const ModelIdentity &identity();
  bool write(QWidget *parent, const QString &path, ExistingFile existing);
  void status(const QString &text) const;
  // Takes the view's settings, camera and section into the document.
  void pull();

  QPointer<ModelView> view_;
  Document &doc_;
  std::function<void(const QString &)> status_;
  QString sessionPath_, sidecarPath_, targetPath_;

  // Filled by the worker, read once it finished.
  std::unique_ptr<QThread> worker_;
  ModelIdentity identity_;
  bool settled_ = false; // the restore's outcome was applied or shown
  AnnotationsReadResult read_;
};
