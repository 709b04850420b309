#include "app/MainWindow.h"

#include "app/AppIcons.h"
#include "app/CalloutDock.h"
#include "app/CommandIds.h"
#include "app/DocTemplate.h"
#include "app/DocumentWindow.h"
#include "app/SessionAnnotations.h"
#include "app/SessionDocument.h"
#include "app/WindowStyle.h"
#include "preview/PreviewApi.h"
#include "scene/GLArrayStore.h"
#include "session/SessionModel.h"
#include "view/ModelView.h"
#include "view/SnapshotWriter.h"
#include "view/UiServices.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMimeData>
#include <QOpenGLWidget>
#include <QPointer>
#include <QRandomGenerator>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWindow>

namespace {
MainWindow *mainFrame = nullptr;

struct CommandText {
  int id;
  const char *text;
  const char *prompt; // "prompt\ntool tip", or null
};

const CommandText kCommands[] = {
    {ID_FILE_OPEN, "&Open...\tCtrl+O", "Open an existing document\nOpen"},
    {ID_FILE_CLOSE, "&Close", "Close the active document window\nClose"},
    {ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit"},
    {ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
    {ID_APP_ABOUT, "&About VelmoraViewer", nullptr},
    {ID_TOLERANCE, "&Tolerance", "Open the tolerance dialog.\nTolerance"},
    {ID_SHOW_ALL_POINTS, "Show &all points", "Show all Points\nShow &all Points"},
    {ID_SNAPSHOT, "&Snapshot", "Snapshot of the current view\nSnapshot of the current view"},
    {ID_ADD_COMMENT, "&Add a Comment", "Add a Comment \n Add a Comment"},
    {ID_GENERATE_SECTION_CURVE, "Generate Section Curve",
     "Generate Section Curve\nGenerate Section Curve"},
    {ID_CLEAR_SECTION, "C&lear section",
     "Remove the section curve and show the model again\nClear section"},
    {ID_EXPORT_SECTION, "Export s&ection...",
     "Save the section points as a CSV file\nExport section"},
    {ID_EXPORT, "Export",
     "Export the model with its deviation colours to VRML, U3D or 3D PDF\nExport"},
    {ID_CREATE_REPORT, "Create &report...",
     "Write an inspection report of the current view as PDF\nCreate report"},
    {ID_VIEW_SHOW_MODEL, "Show &model", "Show or hide the measured model\nShow model"},
    // The view itself handles the keys 1 to 7; the menu only names them.
    {ID_VIEW_FRONT, "&Front\t1", "Look at the model from the front\nFront"},
    {ID_VIEW_BACK, "&Back\t2", "Look at the model from the back\nBack"},
    {ID_VIEW_TOP, "&Top\t3", "Look at the model from above\nTop"},
    {ID_VIEW_BOTTOM, "B&ottom\t4", "Look at the model from below\nBottom"},
    {ID_VIEW_LEFT, "&Left\t5", "Look at the model from the left\nLeft"},
    {ID_VIEW_RIGHT, "&Right\t6", "Look at the model from the right\nRight"},
    {ID_VIEW_ISOMETRIC, "&Isometric\t7", "Look at the model from an isometric corner\nIsometric"},
    {ID_VIEW_RESET, "Reset &view", "Show the model as it opened, fitted\nReset view"},
    // What an engineer adds to a window: saved beside the session file, listed, undone.
    {ID_FILE_SAVE, "&Save annotations\tCtrl+S",
     "Save the banners, distances, comments, settings and camera beside the session "
     "file\nSave annotations"},
    {ID_FILE_SAVE_AS, "Save annotations &as...",
     "Save the annotations of this window to a file of your choice\nSave annotations as"},
    {ID_EXPORT_CALLOUTS, "Export ca&llouts...",
     "Save the callout table (banners and distances) as a CSV file\nExport callouts"},
    {ID_EDIT_UNDO, "&Undo\tCtrl+Z", "Undo the last change to banners, distances or comments\nUndo"},
    {ID_EDIT_REDO, "&Redo\tCtrl+Shift+Z", "Redo the change last undone\nRedo"},
    {ID_MEASURE_DISTANCE, "&Measure distance\tD",
     "Measure the distance between the next two points you click\nMeasure distance"},
    {ID_CALLOUT_WORST_POINTS, "Call out &worst points...",
     "Pin banners on the points farthest outside the tolerance\nCall out worst points"},
    {ID_VIEW_CALLOUTS, "&Callouts", "Show or hide the list of banners and distances\nCallouts"},
    {ID_WINDOW_CASCADE, "&Cascade", "Arrange the windows so that they overlap\nCascade"},
    {ID_WINDOW_TILE_HORZ, "&Tile", "Arrange the windows side by side\nTile"},
    {ID_WINDOW_NEXT, "&Next", "Activate the next document window\nNext window"},
    {ID_FILE_PRINT, "&Print...\tCtrl+P", nullptr},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view", nullptr},
    {ID_FILE_PRINT_SETUP, "P&rint Setup...", nullptr},
};

const char kSettingsOrg[] = "VelmoraViewer";
const char kSettingsApp[] = "VelmoraViewer";
const char kLastFolderKey[] = "Settings/LastFolder";
constexpr int kRecentFiles = 4;

// Why a path cannot be opened as a file, from its directory entry alone (nothing is opened,
// so a pipe cannot block), or empty when it can be read.
QString unreadableReason(const QFileInfo &info) {
  if (!info.exists())
    return QStringLiteral("The file does not exist.");
  if (info.isDir())
    return QStringLiteral("This is a folder, not a file.");
  if (!info.isFile())
    return QStringLiteral("This is not a regular file (it is a pipe, device or socket); only "
                          "regular files are read.");
  if (!info.isReadable())
    return QStringLiteral("You have no permission to read this file.");
  return {};
}

// Keeps a document window within the visible part of the area (and its top-left corner
// visible when it is larger).
void keepInside(QMdiSubWindow *w, const QSize &area) {
  QRect g = w->geometry();
  g.moveLeft(std::max(0, std::min(g.left(), area.width() - g.width())));
  g.moveTop(std::max(0, std::min(g.top(), area.height() - g.height())));
  w->move(g.topLeft());
}
// The window menu of a document window closes on Ctrl+W too; two actions on one key make
// the key ambiguous and neither fires, so Ctrl+W is left to the Close command.
void leaveCtrlWToClose(QMdiSubWindow *w) {
  const QKeySequence ctrlW(Qt::CTRL | Qt::Key_W);
  if (QMenu *menu = w->systemMenu())
    for (QAction *a : menu->actions()) {
      QList<QKeySequence> keys = a->shortcuts();
      if (keys.removeAll(ctrlW) > 0)
        a->setShortcuts(keys);
    }
}

// The same, shrinking a window larger than the area: the view's legend sits at its right
// edge and must stay in sight when the callout list narrows the area.
void fitInside(QMdiSubWindow *w, const QSize &area) {
  if (w->isMaximized() || w->isMinimized() || area.isEmpty())
    return;
  const QSize wanted = w->size().boundedTo(area);
  if (wanted != w->size())
    w->resize(wanted);
  keepInside(w, area);
}
} // namespace

bool MainWindow::eventFilter(QObject *watched, QEvent *e) {
  if (mdi_ && watched == mdi_->viewport() && e->type() == QEvent::Resize)
    for (QMdiSubWindow *w : mdi_->subWindowList())
      fitInside(w, mdi_->viewport()->size());
  return QMainWindow::eventFilter(watched, e);
}

MainWindow::MainWindow(DocTemplateRegistry &templates, QWidget *parent)
    : QMainWindow(parent), templates_(templates) {
  mainFrame = this;
  setObjectName(QString::number(IDR_MAINFRAME));
  setWindowTitle(QStringLiteral("VelmoraViewer"));
  setWindowIcon(applicationIcon());
  setAcceptDrops(true);

  // Two thirds of the screen, a third of that in from the top-left corner.
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    const int h = int(s.height() / 1.5), w = int(s.width() / 1.5);
    setGeometry(s.x() + w / 3, s.y() + h / 3, w, h);
  }

  // A window that gains its first GL child is recreated as a GL window and stays blank until
  // that child's first frame, which for a large mesh takes long. A hidden GL child from the
  // start makes the frame a GL window before it is shown, so it stays on screen (with its
  // status texts) while a file loads.
  auto *glPrimer = new QOpenGLWidget(this);
  glPrimer->setObjectName(QStringLiteral("glPrimer"));
  glPrimer->hide();

  mdi_ = new QMdiArea(this);
  mdi_->setObjectName(QStringLiteral("mdi"));
  setCentralWidget(mdi_);
  mdi_->viewport()->installEventFilter(this);
  connect(mdi_, &QMdiArea::subWindowActivated, this,
          [this](QMdiSubWindow *w) { subWindowActivated(w); });

  createActions();
  updateRecentFileActions();
  buildMenu(IDR_MAINFRAME);
  createToolBar();
  createStatusBar();
  createCalloutDock();

  // The snapshot command opens what it wrote in a preview window of this frame.
  setImagePreviewOpener(
      [this](const QString &path, const QString &title) { return openImagePreview(path, title); });

  // A fresh name per run, so no bar layout of an earlier run is restored.
  stateName_ = QStringLiteral("Frame%1").arg(QRandomGenerator::securelySeeded().generate());

  // The look is applied once the frame exists, as a one-shot styling step.
  QTimer::singleShot(150, this, [this] { applyStyleOnce(); });
  updateCommandStates();
}

MainWindow::~MainWindow() {
  // Document windows go first: their views release GL resources and the current pointers.
  for (QMdiSubWindow *w : mdi_->subWindowList())
    delete w;
  if (mainFrame == this) {
    mainFrame = nullptr;
    setImagePreviewOpener({});
  }
}

void MainWindow::createActions() {
  for (const CommandText &c : kCommands) {
    auto *a = new QAction(QString::fromLatin1(c.text), this);
    a->setData(c.id);
    a->setObjectName(QString::number(c.id));
    if (c.prompt) {
      const QStringList parts = QString::fromLatin1(c.prompt).split('\n');
      a->setStatusTip(parts.value(0));
      a->setToolTip(parts.value(1));
    }
    connect(a, &QAction::triggered, this, [this, id = c.id] { runCommand(id); });
    actions_.insert(c.id, a);
    // Window-wide, so accelerators work whichever menu is shown.
    addAction(a);
  }
  // Recent files: one action per slot, shown while the slot holds a file.
  for (int i = 0; i < kRecentFiles; ++i) {
    const int id = ID_FILE_MRU_FILE1 + i;
    auto *a = new QAction(this);
    a->setData(id);
    a->setObjectName(QString::number(id));
    a->setStatusTip(QStringLiteral("Open this document"));
    connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_.insert(id, a);
  }
  // Keys that feel standard and leave 1 to 7, D, Ctrl+S and Ctrl+Z to the view.
  const std::pair<int, QKeySequence> keys[] = {
      {ID_FILE_OPEN, QKeySequence(Qt::CTRL | Qt::Key_O)},
      {ID_FILE_CLOSE, QKeySequence(Qt::CTRL | Qt::Key_W)},
      {ID_APP_EXIT, QKeySequence(Qt::CTRL | Qt::Key_Q)},
      {ID_FILE_PRINT, QKeySequence(Qt::CTRL | Qt::Key_P)},
      {ID_TOLERANCE, QKeySequence(Qt::CTRL | Qt::Key_T)},
      {ID_SHOW_ALL_POINTS, QKeySequence(Qt::Key_Home)},
      {ID_SNAPSHOT, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
      {ID_GENERATE_SECTION_CURVE, QKeySequence(Qt::CTRL | Qt::Key_G)},
      {ID_EXPORT, QKeySequence(Qt::CTRL | Qt::Key_E)},
      {ID_EXPORT_SECTION, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
      {ID_WINDOW_NEXT, QKeySequence(Qt::CTRL | Qt::Key_F6)},
      {ID_FILE_SAVE, QKeySequence(Qt::CTRL | Qt::Key_S)},
      {ID_EDIT_UNDO, QKeySequence(Qt::CTRL | Qt::Key_Z)},
      {ID_EDIT_REDO, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
      {ID_MEASURE_DISTANCE, QKeySequence(Qt::Key_D)},
  };
  for (const auto &[id, key] : keys) {
    QAction *a = actions_[id];
    a->setShortcut(key);
    // Tool tips name the key too.
    a->setToolTip(
        QStringLiteral("%1 (%2)").arg(a->toolTip(), key.toString(QKeySequence::NativeText)));
  }
  actions_[ID_VIEW_STATUS_BAR]->setCheckable(true);
  actions_[ID_VIEW_STATUS_BAR]->setChecked(true);
  actions_[ID_VIEW_SHOW_MODEL]->setCheckable(true);
  actions_[ID_VIEW_SHOW_MODEL]->setChecked(true);
  actions_[ID_VIEW_CALLOUTS]->setCheckable(true);
  for (int id : {int(ID_FILE_OPEN), int(ID_TOLERANCE), int(ID_SHOW_ALL_POINTS), int(ID_SNAPSHOT),
                 int(ID_ADD_COMMENT), int(ID_GENERATE_SECTION_CURVE), int(ID_EXPORT),
                 int(ID_MEASURE_DISTANCE)})
    actions_[id]->setIcon(toolbarIcon(id));
}

void MainWindow::buildMenu(int menuId) {
  if (menuId == currentMenu_)
    return;
  currentMenu_ = menuId;
  QMenuBar *bar = menuBar();
  bar->clear();
  bar->setObjectName(QString::number(menuId));
  const auto addAll = [&](QMenu *m, std::initializer_list<int> ids) {
    for (int id : ids)
      if (id == 0)
        m->addSeparator();
      else
        m->addAction(actions_[id]);
  };
  const bool session = menuId == IDR_SESSION_TYPE || menuId == IDR_SESSION_TYPE_SMALL;

  // Every window's File menu opens and closes documents, lists the recent ones and exits;
  // the document's own commands come between. Separators next to hidden recent-file
  // entries collapse.
  QMenu *file = bar->addMenu(QStringLiteral("&File"));
  addAll(file, {ID_FILE_OPEN, ID_FILE_CLOSE, 0});
  if (session)
    addAll(file, {ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_EXPORT_CALLOUTS, 0});
  if (menuId == IDR_SESSION_TYPE)
    addAll(file, {ID_TOLERANCE, ID_SHOW_ALL_POINTS, ID_SNAPSHOT, ID_ADD_COMMENT,
                  ID_GENERATE_SECTION_CURVE, ID_CLEAR_SECTION, ID_EXPORT_SECTION, ID_EXPORT,
                  ID_CREATE_REPORT, 0});
  else if (menuId == IDR_SESSION_TYPE_SMALL)
    addAll(file, {ID_TOLERANCE, ID_SHOW_ALL_POINTS, ID_SNAPSHOT, ID_ADD_COMMENT, 0});
  else if (menuId == IDR_PREVIEW_TYPE)
    addAll(file, {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, 0});
  for (int i = 0; i < kRecentFiles; ++i)
    file->addAction(actions_[ID_FILE_MRU_FILE1 + i]);
  addAll(file, {0, ID_APP_EXIT});

  if (session)
    addAll(bar->addMenu(QStringLiteral("&Edit")), {ID_EDIT_UNDO, ID_EDIT_REDO});

  QMenu *view = bar->addMenu(QStringLiteral("&View"));
  view->addAction(actions_[ID_VIEW_STATUS_BAR]);
  if (session)
    addAll(view, {ID_VIEW_CALLOUTS, 0, ID_MEASURE_DISTANCE, ID_CALLOUT_WORST_POINTS});
  if (session) {
    if (menuId == IDR_SESSION_TYPE)
      addAll(view, {0, ID_VIEW_SHOW_MODEL});
    addAll(view, {0, ID_VIEW_FRONT, ID_VIEW_BACK, ID_VIEW_TOP, ID_VIEW_BOTTOM, ID_VIEW_LEFT,
                  ID_VIEW_RIGHT, ID_VIEW_ISOMETRIC, 0, ID_VIEW_RESET});
    // The model's visibility can change outside the menu (a section hides it).
    connect(view, &QMenu::aboutToShow, this, &MainWindow::updateCommandStates);
  }
  addAll(bar->addMenu(QStringLiteral("&Window")),
         {ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_NEXT});
  bar->addMenu(QStringLiteral("&?"))->addAction(actions_[ID_APP_ABOUT]);
}

void MainWindow::createToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Standard"));
  toolBar_->setObjectName(QString::number(IDR_MAINFRAME));
  toolBar_->setIconSize(QSize(16, 15));
  toolBar_->setMovable(true);
  toolBar_->addAction(actions_[ID_FILE_OPEN]);
  toolBar_->addSeparator();
  for (int id : {int(ID_TOLERANCE), int(ID_SHOW_ALL_POINTS), int(ID_SNAPSHOT), int(ID_ADD_COMMENT),
                 int(ID_GENERATE_SECTION_CURVE), int(ID_EXPORT)})
    toolBar_->addAction(actions_[id]);
  toolBar_->addAction(actions_[ID_MEASURE_DISTANCE]);
  addToolBar(Qt::TopToolBarArea, toolBar_);
}

void MainWindow::createCalloutDock() {
  // Hidden until asked for: the document windows keep their room.
  calloutDock_ = new CalloutDock(this);
  addDockWidget(Qt::RightDockWidgetArea, calloutDock_);
  calloutDock_->hide();
  // The action, not the frame: the dock hides while the frame is taken down.
  connect(calloutDock_, &QDockWidget::visibilityChanged, actions_[ID_VIEW_CALLOUTS],
          &QAction::setChecked);
  connect(calloutDock_, &CalloutDock::exportRequested, this,
          [this] { runCommand(ID_EXPORT_CALLOUTS); });
}

void MainWindow::createStatusBar() {
  QStatusBar *sb = statusBar();
  sb->setObjectName(QString::number(ID_VIEW_STATUS_BAR));
  messagePane_ = new QLabel(QStringLiteral("Ready"));
  messagePane_->setObjectName(QStringLiteral("pane0"));
  sb->addWidget(messagePane_, 1);
  const std::pair<int, const char *> indicators[] = {
      {ID_INDICATOR_CAPS, "CAP"}, {ID_INDICATOR_NUM, "NUM"}, {ID_INDICATOR_SCRL, "SCRL"}};
  for (const auto &[id, text] : indicators) {
    auto *l = new QLabel(QString::fromLatin1(text));
    l->setObjectName(QString::number(id));
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    sb->addPermanentWidget(l);
  }
}

void MainWindow::showStatusText(const QString &text) {
  statusOwner_ = nullptr; // a window's own messages claim the pane after this
  messagePane_->setText(text.left(255));
  // Loading runs without returning to the event loop: paint now.
  statusBar()->clearMessage();
  messagePane_->repaint();
  statusBar()->repaint();
  emit statusTextShown(messagePane_->text());
}

QString MainWindow::statusText() const { return messagePane_->text(); }

QList<DocumentWindow *> MainWindow::childFrames() const {
  QList<DocumentWindow *> out;
  for (QMdiSubWindow *w : mdi_->subWindowList())
    if (auto *c = qobject_cast<DocumentWindow *>(w))
      out.push_back(c);
  return out;
}

DocumentWindow *MainWindow::activeChild() const {
  return qobject_cast<DocumentWindow *>(mdi_->activeSubWindow());
}

void MainWindow::subWindowActivated(QMdiSubWindow *w) {
  auto *child = qobject_cast<DocumentWindow *>(w);
  // The callout list shows the active window's callouts (none for a preview).
  if (child || mdi_->subWindowList().isEmpty())
    calloutDock_->setView(child ? child->view() : nullptr);
  if (child) {
    buildMenu(child->templateId());
    setWindowTitle(QStringLiteral("VelmoraViewer - ") + child->windowTitle());
  } else if (mdi_->subWindowList().isEmpty()) {
    buildMenu(IDR_MAINFRAME);
    setWindowTitle(QStringLiteral("VelmoraViewer"));
  }
  updateCommandStates();
}

void MainWindow::updateCommandStates() {
  DocumentWindow *child = activeChild();
  ModelView *view = child ? child->view() : nullptr;
  const bool has3d = view != nullptr;
  actions_[ID_FILE_CLOSE]->setEnabled(child != nullptr);
  actions_[ID_TOLERANCE]->setEnabled(has3d);
  actions_[ID_SHOW_ALL_POINTS]->setEnabled(has3d);
  actions_[ID_SNAPSHOT]->setEnabled(has3d);
  actions_[ID_ADD_COMMENT]->setEnabled(has3d);
  actions_[ID_GENERATE_SECTION_CURVE]->setEnabled(has3d);
  actions_[ID_EXPORT]->setEnabled(has3d);
  actions_[ID_CREATE_REPORT]->setEnabled(has3d);
  const bool section = has3d && view->hasSection();
  actions_[ID_CLEAR_SECTION]->setEnabled(section);
  actions_[ID_EXPORT_SECTION]->setEnabled(section);
  actions_[ID_VIEW_SHOW_MODEL]->setEnabled(has3d);
  actions_[ID_VIEW_SHOW_MODEL]->setChecked(!has3d || view->showModel);
  for (int id = ID_VIEW_FRONT; id <= ID_VIEW_RESET; ++id)
    actions_[id]->setEnabled(has3d);
  SessionAnnotations *records =
      child && child->document() ? child->document()->annotations() : nullptr;
  for (int id : {int(ID_FILE_SAVE), int(ID_FILE_SAVE_AS), int(ID_EXPORT_CALLOUTS)})
    actions_[id]->setEnabled(records != nullptr);
  // "Undo delete", "Redo add banner": the menu names the step.
  const QUndoStack *history = has3d ? view->undoStack() : nullptr;
  actions_[ID_EDIT_UNDO]->setEnabled(history && history->canUndo());
  actions_[ID_EDIT_REDO]->setEnabled(history && history->canRedo());
  actions_[ID_EDIT_UNDO]->setText(history && history->canUndo()
                                      ? QStringLiteral("&Undo %1\tCtrl+Z").arg(history->undoText())
                                      : QStringLiteral("&Undo\tCtrl+Z"));
  actions_[ID_EDIT_REDO]->setText(
      history && history->canRedo()
          ? QStringLiteral("&Redo %1\tCtrl+Shift+Z").arg(history->redoText())
          : QStringLiteral("&Redo\tCtrl+Shift+Z"));
  actions_[ID_MEASURE_DISTANCE]->setEnabled(has3d);
  actions_[ID_CALLOUT_WORST_POINTS]->setEnabled(has3d);
  const bool windows = !mdi_->subWindowList().isEmpty();
  for (int id : {int(ID_WINDOW_CASCADE), int(ID_WINDOW_TILE_HORZ), int(ID_WINDOW_NEXT)})
    actions_[id]->setEnabled(windows);
  const bool preview = child && child->preview();
  for (int id : {int(ID_FILE_PRINT), int(ID_FILE_PRINT_PREVIEW)})
    actions_[id]->setEnabled(preview);
}

void MainWindow::runCommand(int id) {
  DocumentWindow *child = activeChild();
  ModelView *view = child && child->view() ? child->view() : nullptr;
  switch (id) {
  case ID_FILE_OPEN:
    onFileOpen();
    break;
  case ID_FILE_CLOSE:
    if (QMdiSubWindow *w = mdi_->activeSubWindow())
      w->close();
    break;
  case ID_FILE_MRU_FILE1:
  case ID_FILE_MRU_FILE1 + 1:
  case ID_FILE_MRU_FILE1 + 2:
  case ID_FILE_MRU_FILE4:
    openRecentFile(id - ID_FILE_MRU_FILE1);
    break;
  case ID_APP_EXIT:
    close();
    break;
  case ID_VIEW_STATUS_BAR:
    statusBar()->setVisible(!statusBar()->isVisible());
    actions_[ID_VIEW_STATUS_BAR]->setChecked(statusBar()->isVisible());
    break;
  case ID_APP_ABOUT:
    about();
    break;
  case ID_TOLERANCE:
    if (view)
      view->onTolerance();
    break;
  case ID_SHOW_ALL_POINTS:
    if (view)
      view->onShowAllPoints();
    break;
  case ID_SNAPSHOT:
    if (view)
      view->onSnapshot();
    break;
  case ID_ADD_COMMENT:
    if (view)
      view->onAddComment();
    break;
  case ID_GENERATE_SECTION_CURVE:
    if (view)
      view->onGenerateSectionCurve();
    break;
  case ID_EXPORT:
    if (view)
      view->onExport();
    break;
  case ID_CREATE_REPORT:
    if (view)
      view->onCreateReport();
    break;
  case ID_CLEAR_SECTION:
    if (view)
      view->onClearSection();
    break;
  case ID_EXPORT_SECTION:
    if (view)
      view->onExportSection();
    break;
  case ID_VIEW_SHOW_MODEL:
    if (view)
      view->setShowModel(!view->showModel);
    break;
  case ID_VIEW_FRONT:
  case ID_VIEW_BACK:
  case ID_VIEW_TOP:
  case ID_VIEW_BOTTOM:
  case ID_VIEW_LEFT:
  case ID_VIEW_RIGHT:
  case ID_VIEW_ISOMETRIC: {
    using SV = ModelView::StandardView;
    static const SV views[] = {SV::Front, SV::Back,  SV::Top,      SV::Bottom,
                               SV::Left,  SV::Right, SV::Isometric};
    if (view)
      view->setStandardView(views[id - ID_VIEW_FRONT]);
    break;
  }
  case ID_VIEW_RESET:
    if (view)
      view->resetView();
    break;
  case ID_FILE_SAVE:
  case ID_FILE_SAVE_AS:
  case ID_EXPORT_CALLOUTS:
    if (SessionAnnotations *records =
            child && child->document() ? child->document()->annotations() : nullptr)
      id == ID_FILE_SAVE      ? records->save(this)
      : id == ID_FILE_SAVE_AS ? records->saveAs(this)
                              : records->exportCallouts(this);
    break;
  case ID_EDIT_UNDO:
    if (view)
      view->undoStack()->undo();
    break;
  case ID_EDIT_REDO:
    if (view)
      view->undoStack()->redo();
    break;
  case ID_MEASURE_DISTANCE:
    if (view)
      view->startMeasureDistance();
    break;
  case ID_CALLOUT_WORST_POINTS:
    if (view)
      view->onCalloutWorstPoints();
    break;
  case ID_VIEW_CALLOUTS:
    calloutDock_->setVisible(!calloutDock_->isVisible());
    // Wide enough for the numbers and some of the comments.
    if (calloutDock_->isVisible() && !calloutDock_->isFloating())
      resizeDocks({calloutDock_}, {480}, Qt::Horizontal);
    actions_[ID_VIEW_CALLOUTS]->setChecked(calloutDock_->isVisible());
    break;
  case ID_WINDOW_CASCADE:
    mdi_->cascadeSubWindows();
    break;
  case ID_WINDOW_TILE_HORZ:
    mdi_->tileSubWindows();
    break;
  case ID_WINDOW_NEXT:
    mdi_->activateNextSubWindow();
    break;
  case ID_FILE_PRINT:
    if (child && child->preview())
      printImagePreview(child->preview());
    break;
  case ID_FILE_PRINT_PREVIEW:
    if (child && child->preview())
      printPreviewImagePreview(child->preview());
    break;
  case ID_FILE_PRINT_SETUP:
    imagePreviewPrintSetup(this);
    break;
  default:
    break;
  }
}

void MainWindow::closeAllDocuments() {
  // Closed synchronously, so the new document is the only one when it opens.
  for (QMdiSubWindow *w : mdi_->subWindowList()) {
    w->hide();
    delete w;
  }
}

bool MainWindow::onFileOpen() {
  bool exact = false;
  templates_.findByDocumentName(QStringLiteral("VelmoraViewer"), &exact);
  QSettings settings(kSettingsOrg, kSettingsApp);
  const QString lastFolder = settings.value(kLastFolderKey).toString();
  const QString path = UiServices::instance().openFileName(
      this, QStringLiteral("File name and path of the file"),
      {QStringLiteral("ses file (*.ses)"), QStringLiteral("All files (*)")}, QStringLiteral("ses"),
      QFileInfo(lastFolder).isDir() ? lastFolder : QString());
  if (path.isEmpty())
    return false;
  settings.setValue(kLastFolderKey, QFileInfo(path).absolutePath());
  return openInPlaceOfOthers(path);
}

bool MainWindow::openInPlaceOfOthers(const QString &path) {
  // The open windows close once the new file was accepted, so a refused file loses nothing.
  if (!openDocument(path, true))
    return false;
  if (DocumentWindow *c = activeChild(); c && c->view())
    c->view()->onShowAllPoints();
  return true;
}

void MainWindow::openRecentFile(int index) {
  const QString path = recentFiles().value(index);
  if (path.isEmpty())
    return;
  // A file that is gone leaves the list once the user was told.
  if (!openInPlaceOfOthers(path) && !QFileInfo::exists(path)) {
    QStringList list = recentFiles();
    list.removeAll(path);
    storeRecentFiles(list);
    updateRecentFileActions();
  }
}

namespace {
// A file whose read is long enough for its progress texts to be worth showing.
constexpr qint64 kLargeFileBytes = qint64(64) << 20;
} // namespace

bool MainWindow::openDocument(const QString &path, bool closeOthers) {
  const QFileInfo info(path);
  if (const QString reason = unreadableReason(info); !reason.isEmpty()) {
    UiServices::instance().message(this, QStringLiteral("Cannot open the file %1.").arg(path),
                                   reason, UiServices::Icon::Warning);
    return false;
  }
  // A small file reads in moments, with no progress to show: it is read without waiting for
  // the frame to be mapped.
  if (info.size() >= kLargeFileBytes)
    waitUntilOnScreen();
  applyStyleOnce();
  auto doc = std::make_unique<SessionDocument>();
  doc->showStatus = [this](const QString &t) { showStatusText(t); };
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QString error;
  const bool ok = doc->readFile(info.absoluteFilePath(), error);
  QApplication::restoreOverrideCursor();
  // An empty file has nothing to show: it is refused like a file the reader refuses, with
  // the reader's verdict when it gave one.
  const bool empty = info.size() == 0;
  if (!ok || empty) {
    doc.reset();
    showStatusText(QStringLiteral("Ready"));
    if (empty)
      UiServices::instance().message(
          this, QStringLiteral("The file %1 is empty: there is nothing to show.").arg(path), error,
          UiServices::Icon::Warning);
    else
      UiServices::instance().message(this, error, {}, UiServices::Icon::Warning);
    return false;
  }
  // Windows with unsaved annotations ask first; Cancel keeps them and drops the new file.
  if (closeOthers && !confirmCloseAll()) {
    showStatusText(QStringLiteral("Ready"));
    return false;
  }
  if (closeOthers)
    closeAllDocuments();
  SessionDocument *d = doc.get();
  auto *child = new DocumentWindow(std::move(doc));
  mdi_->addSubWindow(child);
  leaveCtrlWToClose(child);
  child->show();
  child->sizeClientArea(900, 600, mdi_->viewport()->size());
  keepInside(child, mdi_->viewport()->size());
  ModelView *view = child->view();
  child->setWindowTitle(info.fileName());
  connect(view, &ModelView::sectionChanged, this, &MainWindow::updateCommandStates);
  connect(view, &ModelView::statusMessage, this, [this, child](const QString &text) {
    showStatusText(text);
    statusOwner_ = child;
  });
  // A closed window's messages go with it.
  connect(child, &DocumentWindow::closing, this, [this, child] {
    if (statusOwner_ == child) {
      statusOwner_ = nullptr;
      showStatusText(QStringLiteral("Ready"));
    }
  });
  connect(view->undoStack(), &QUndoStack::indexChanged, this, &MainWindow::updateCommandStates);
  // Let the empty window appear before the model's first frame, which compiles the mesh.
  QCoreApplication::processEvents();
  d->attachToView(*view);
  addRecentFile(info.absoluteFilePath());
  updateRecentFileActions();
  mdi_->setActiveSubWindow(child);
  subWindowActivated(child);
  view->setFocus();
  view->renderFrame();
  updateCommandStates();
  // The sidecar is read and applied once the window shows its model.
  if (SessionAnnotations *records = d->annotations()) {
    // Reload after the session file changed on disk: this window goes (without asking about
    // its annotations: the user chose to reload) and the file opens again.
    connect(records, &SessionAnnotations::reloadRequested, this, [this, child] {
      QTimer::singleShot(0, this, [this, child = QPointer<DocumentWindow>(child)] {
        if (!child || !child->document())
          return;
        const QString path = child->document()->path();
        if (SessionAnnotations *r = child->document()->annotations())
          r->discardChanges();
        child->close();
        openDocument(path, false);
      });
    });
    records->startRestore();
  }
  // A file that holds no points opens, but says at once why nothing shows and why the
  // exports and the report will refuse it.
  if (const SessionModel *m = d->sessionModel(); m && drawablePoints(*m) == 0) {
    showStatusText(QStringLiteral("%1: the model has no points").arg(info.fileName()));
    UiServices::instance().message(
        this, QStringLiteral("%1: the model has no points").arg(info.fileName()),
        QStringLiteral("There is nothing to show, export or report."), UiServices::Icon::Warning);
  }
  return true;
}

bool MainWindow::confirmCloseAll() {
  for (DocumentWindow *c : childFrames())
    if (c->document() && c->document()->annotations() &&
        !c->document()->annotations()->confirmClose(c))
      return false;
  return true;
}

void MainWindow::closeEvent(QCloseEvent *e) {
  // Quitting asks each window with unsaved annotations; Cancel keeps the application open.
  if (!confirmCloseAll()) {
    e->ignore();
    return;
  }
  QMainWindow::closeEvent(e);
}

void MainWindow::applyStyleOnce() {
  if (styled_)
    return;
  styled_ = true;
  applyWindowStyle(*this);
}

void MainWindow::waitUntilOnScreen() {
  // Reading a large file blocks the event loop; the status texts only show on a window
  // the window system has already mapped.
  if (!isVisible() || !windowHandle())
    return;
  QElapsedTimer t;
  t.start();
  while (!windowHandle()->isExposed() && t.elapsed() < 2000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QCoreApplication::processEvents();
  repaint();
}

bool MainWindow::openImagePreview(const QString &path, const QString &title) {
  if (!QFileInfo(path).isFile())
    return false;
  auto *child =
      new DocumentWindow(createImagePreview(path, nullptr, title), QFileInfo(path).fileName());
  mdi_->addSubWindow(child);
  leaveCtrlWToClose(child);
  child->show();
  keepInside(child, mdi_->viewport()->size());
  mdi_->setActiveSubWindow(child);
  updateCommandStates();
  return true;
}

void MainWindow::about() {
  QDialog dlg(this);
  dlg.setObjectName(QString::number(IDD_ABOUTBOX));
  dlg.setWindowTitle(QStringLiteral("About VelmoraViewer"));
  auto *layout = new QVBoxLayout(&dlg);
  auto *row = new QHBoxLayout;
  auto *icon = new QLabel;
  icon->setPixmap(applicationIcon().pixmap(32, 32));
  row->addWidget(icon);
  // One version for the About box and --version: the project's own. The drawing driver is the
  // active window's, or a probe's when no window is open.
  std::string drawing;
  if (DocumentWindow *child = activeChild(); child && child->view()->isValid()) {
    child->view()->makeCurrent();
    drawing = describeDrawingDriver(currentDrawingDriver());
    child->view()->doneCurrent();
  } else {
    drawing = describeProbedDrawingDriver();
  }
  auto *text = new QLabel(QStringLiteral("VelmoraViewer\nVersion " VELMORA_VERSION "\n\n") +
                          QString::fromStdString(drawing));
  text->setWordWrap(true);
  text->setObjectName(QStringLiteral("aboutText"));
  row->addWidget(text, 1);
  layout->addLayout(row);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  layout->addWidget(buttons);
  dlg.exec();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *e) {
  if (e->mimeData()->hasUrls())
    e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *e) {
  // Dropped files open as further documents; the newest becomes current.
  for (const QUrl &url : e->mimeData()->urls())
    if (url.isLocalFile())
      openDocument(url.toLocalFile(), false);
  e->acceptProposedAction();
}

QStringList MainWindow::recentFiles() {
  QSettings s(kSettingsOrg, kSettingsApp);
  QStringList out;
  for (int i = 1; i <= kRecentFiles; ++i) {
    const QString f = s.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
    if (!f.isEmpty())
      out.push_back(f);
  }
  return out;
}

void MainWindow::addRecentFile(const QString &path) {
  QStringList list = recentFiles();
  list.removeAll(path);
  list.prepend(path);
  storeRecentFiles(list);
}

void MainWindow::storeRecentFiles(QStringList list) {
  while (list.size() > kRecentFiles)
    list.removeLast();
  QSettings s(kSettingsOrg, kSettingsApp);
  for (int i = 1; i <= kRecentFiles; ++i)
    s.setValue(QStringLiteral("Recent File List/File%1").arg(i), list.value(i - 1));
}

void MainWindow::updateRecentFileActions() {
  const QStringList list = recentFiles();
  for (int i = 0; i < kRecentFiles; ++i) {
    QAction *a = actions_[ID_FILE_MRU_FILE1 + i];
    const QString path = list.value(i);
    // "&1 name  (folder)": the name first, so four similar paths stay apart.
    const QFileInfo info(path);
    QString name = info.fileName();
    name.replace('&', QStringLiteral("&&"));
    a->setText(QStringLiteral("&%1 %2  (%3)")
                   .arg(i + 1)
                   .arg(name, QDir::toNativeSeparators(info.absolutePath())));
    a->setToolTip(path);
    a->setVisible(!path.isEmpty());
  }
}
