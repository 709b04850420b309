#pragma once
#include <QString>
#include <functional>
#include <memory>

class Document;
class GLPointCloud;
class SessionAnnotations;
class SessionModel;
class ModelView;

// The 3D session document: reads a session or point text file and hands the model to its
// view's scene as a point cloud node. It never writes its file.
class SessionDocument {
public:
  SessionDocument();
  ~SessionDocument();

  // First half of the load step: status "Is loading...", read the file with the reader its
  // suffix asks for. False with a message when the reader refuses the file; the document
  // then holds no model and the caller opens no window.
  bool readFile(const QString &path, QString &error);
  // Second half, once the view exists: node creation and the defaults of a fresh file,
  // bounds, zoom to fit, scene centre, status "Ready". Sets up the annotation record of the
  // window (its restore starts with startRestore()).
  void attachToView(ModelView &view);

  // The annotation record of the window (saved beside the file), once the model is shown.
  SessionAnnotations *annotations() const { return annotations_.get(); }

  // The window's state as records: model, path, settings, annotations, file identities.
  Document *document() const { return document_.get(); }

  // Where status texts go (the frame's message pane, repainted at once: loading runs
  // without returning to the event loop); set by the window before readFile.
  std::function<void(const QString &)> showStatus;

  GLPointCloud *pointCloud() const { return pointCloud_; }
  SessionModel *sessionModel() const;
  bool hasNominalPoints() const { return hasNominalPoints_; }
  const QString &path() const { return path_; }
  bool isSessionFile() const { return isSessionFile_; }

  SessionDocument(const SessionDocument &) = delete;
  SessionDocument &operator=(const SessionDocument &) = delete;

private:
  GLPointCloud *pointCloud_ = nullptr;    // owned by the view's scene
  std::unique_ptr<SessionModel> pending_; // until the node takes it
  std::shared_ptr<Document> document_;    // shared with the view, which draws from it
  std::unique_ptr<SessionAnnotations> annotations_;
  SessionModel *model_ = nullptr;
  bool hasNominalPoints_ = false;
  bool isSessionFile_ = false;
  QString path_;
};
