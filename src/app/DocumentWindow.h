#pragma once
#include <QMdiSubWindow>
#include <memory>

class SessionDocument;
class ModelView;

// A document window inside the main frame: either a 3D view with its document, or an
// image preview. It owns the document; the view owns the scene.
class DocumentWindow : public QMdiSubWindow {
  Q_OBJECT
public:
  // A 3D document window (template 1289).
  DocumentWindow(std::unique_ptr<SessionDocument> doc, QWidget *parent = nullptr);
  // An image preview window (template 1291) around an already created preview widget.
  DocumentWindow(QWidget *preview, const QString &title, QWidget *parent = nullptr);
  ~DocumentWindow() override;

  int templateId() const { return templateId_; }
  ModelView *view() const { return view_; }
  SessionDocument *document() const { return doc_.get(); }
  QWidget *preview() const { return preview_; }

  // Resizes the frame so that its view's client area is w x h when the space allows.
  void sizeClientArea(int w, int h, const QSize &available);

signals:
  // The window agreed to close (after any save prompt); it is deleted later.
  void closing();

protected:
  void closeEvent(QCloseEvent *e) override;

private:
  std::unique_ptr<SessionDocument> doc_;
  ModelView *view_ = nullptr;
  QWidget *preview_ = nullptr;
  int templateId_;
};
