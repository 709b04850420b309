#pragma once
#include <QHash>
#include <QMainWindow>
#include <QString>

class DocumentWindow;
class CalloutDock;
class DocTemplateRegistry;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QToolBar;

// The main window: menus, tool bar 128, status bar panes, the document windows in an MDI
// area, file opening (menu, command line, dropping) and command routing by numeric id.
class MainWindow : public QMainWindow {
  Q_OBJECT
public:
  explicit MainWindow(DocTemplateRegistry &templates, QWidget *parent = nullptr);
  ~MainWindow() override;

  // Open command: file dialog, then close every document window and open the file.
  // False when cancelled or the file was refused.
  bool onFileOpen();
  // Opens a file as a 3D document; closeOthers closes every document window first.
  // A refused file shows its message and opens no window.
  bool openDocument(const QString &path, bool closeOthers);
  // Opens a picture in an image preview window (template 1291); title is printed above the
  // picture (empty: the preview's own). False when the file does not exist.
  Q_INVOKABLE bool openImagePreview(const QString &path, const QString &title = {});

  // Message pane text, repainted at once.
  void showStatusText(const QString &text);
  QString statusText() const;

  // Runs a command by id, as a menu, tool bar or accelerator would.
  void runCommand(int id);
  QAction *action(int id) const { return actions_.value(id); }
  // The menu currently shown (128 with no document window, else the window's template).
  int currentMenuId() const { return currentMenu_; }

  QMdiArea *mdiArea() const { return mdi_; }
  QList<DocumentWindow *> childFrames() const;
  DocumentWindow *activeChild() const;
  QToolBar *toolBar() const { return toolBar_; }
  // The list of the active window's banners and distances.
  CalloutDock *calloutDock() const { return calloutDock_; }
  // Asks each window with unsaved annotations whether to save them; false when one says
  // Cancel (nothing is closed here).
  bool confirmCloseAll();

  // Recent files (most recent first, at most 4), kept in the per-user settings.
  static QStringList recentFiles();

  // Enables the commands that need a 3D window and are built.
  void updateCommandStates();

signals:
  // Every text shown in the message pane, in order.
  void statusTextShown(const QString &text);

protected:
  void closeEvent(QCloseEvent *e) override;
  // Keeps the document windows inside the area when it shrinks (the callout list docks).
  bool eventFilter(QObject *watched, QEvent *e) override;
  void dragEnterEvent(QDragEnterEvent *e) override;
  void dropEvent(QDropEvent *e) override;

private:
  void createActions();
  void buildMenu(int menuId);
  void createToolBar();
  void createStatusBar();
  void createCalloutDock();
  void subWindowActivated(QMdiSubWindow *w);
  void closeAllDocuments();
  void waitUntilOnScreen();
  // The window style, applied once: by the styling timer, or before the first document
  // window if that comes sooner (styling re-lays out every window, which the model's first
  // frames would show at a passing size).
  void applyStyleOnce();
  bool styled_ = false;
  void about();
  // Opens path as the only document, as the Open command does after its dialog.
  bool openInPlaceOfOthers(const QString &path);
  void openRecentFile(int index);
  void updateRecentFileActions();
  static void addRecentFile(const QString &path);
  static void storeRecentFiles(QStringList list);

  DocTemplateRegistry &templates_;
  QMdiArea *mdi_ = nullptr;
  QToolBar *toolBar_ = nullptr;
  CalloutDock *calloutDock_ = nullptr;
  QLabel *messagePane_ = nullptr;
  // The window whose message the pane shows; compared only, never used.
  const QObject *statusOwner_ = nullptr;
  QHash<int, QAction *> actions_;
  int currentMenu_ = 0;
  QString stateName_;
};
