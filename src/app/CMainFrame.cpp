#include "app/CMainFrame.h"

#include "app/AppIcons.h"
#include "app/CChildFrame.h"
#include "app/CommandIds.h"
#include "app/DocTemplate.h"
#include "app/VelmoraViewerWE_Doc.h"
#include "chrome/ChromeStyle.h"
#include "preview/PreviewApi.h"
#include "view/SnapshotWriter.h"
#include "view/UiServices.h"
#include "view/view3d.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
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
#include <QRandomGenerator>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

namespace {
CMainFrame *mainFrame = nullptr;

struct CommandText {
  int id;
  const char *text;
  const char *prompt; // "prompt\ntool tip", or null
};

const CommandText kCommands[] = {
    {ID_FILE_OPEN, "&Open...\tCtrl+O", "Open an existing document\nOpen"},
    {ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit"},
    {ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
    {ID_APP_ABOUT, "&About VelmoraViewer", nullptr},
    {ID_TOLERANCE, "&Tolerance", "Open the tolerance dialog.\nTolerance"},
    {ID_SHOW_ALL_POINTS, "Show &all points", "Show all Points\nShow &all Points"},
    {ID_SNAPSHOT, "&Snapshot", "Snapshot of the current view\nSnapshot of the current view"},
    {ID_ADD_COMMENT, "&Add a Comment", "Add a Comment \n Add a Comment"},
    {ID_GENERATE_SECTION_CURVE, "Generate Section Curve",
     "Generate Section Curve\nGenerate Section Curve"},
    {ID_EXPORT, "Export", nullptr},
    {ID_FILE_PRINT, "&Print...\tCtrl+P", nullptr},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view", nullptr},
    {ID_FILE_PRINT_SETUP, "P&rint Setup...", nullptr},
};

const char kSettingsOrg[] = "VelmoraViewer";
const char kSettingsApp[] = "VelmoraViewer";
constexpr int kRecentFiles = 4;
} // namespace

CMainFrame *CMainFrame::instance() { return mainFrame; }

CMainFrame::CMainFrame(DocTemplateRegistry &templates, QWidget *parent)
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
  connect(mdi_, &QMdiArea::subWindowActivated, this,
          [this](QMdiSubWindow *w) { subWindowActivated(w); });

  createActions();
  buildMenu(IDR_MAINFRAME);
  createToolBar();
  createStatusBar();

  // The snapshot command opens what it wrote in a preview window of this frame.
  setImagePreviewOpener([this](const QString &path) { return openImagePreview(path); });

  // A fresh name per run, so no bar layout of an earlier run is restored.
  stateName_ = QStringLiteral("Frame%1").arg(QRandomGenerator::securelySeeded().generate());

  // The look is applied once the frame exists, as a one-shot styling step.
  QTimer::singleShot(150, this, [this] { applyChromeStyle(*this); });
  updateCommandStates();
}

CMainFrame::~CMainFrame() {
  // Document windows go first: their views release GL resources and the current pointers.
  for (QMdiSubWindow *w : mdi_->subWindowList())
    delete w;
  if (mainFrame == this) {
    mainFrame = nullptr;
    setImagePreviewOpener({});
  }
}

void CMainFrame::createActions() {
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
  actions_[ID_FILE_OPEN]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  actions_[ID_FILE_PRINT]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  actions_[ID_VIEW_STATUS_BAR]->setCheckable(true);
  actions_[ID_VIEW_STATUS_BAR]->setChecked(true);
  for (int id : {int(ID_FILE_OPEN), int(ID_TOLERANCE), int(ID_SHOW_ALL_POINTS), int(ID_SNAPSHOT),
                 int(ID_ADD_COMMENT), int(ID_GENERATE_SECTION_CURVE)})
    actions_[id]->setIcon(toolbarIcon(id));
}

void CMainFrame::buildMenu(int menuId) {
  if (menuId == currentMenu_)
    return;
  currentMenu_ = menuId;
  QMenuBar *bar = menuBar();
  bar->clear();
  bar->setObjectName(QString::number(menuId));
  QMenu *file = bar->addMenu(QStringLiteral("&File"));
  auto add = [&](QMenu *m, int id) { m->addAction(actions_[id]); };
  switch (menuId) {
  case IDR_SESSION_TYPE:
  case IDR_SESSION_TYPE_SMALL:
    add(file, ID_TOLERANCE);
    add(file, ID_SHOW_ALL_POINTS);
    add(file, ID_SNAPSHOT);
    add(file, ID_ADD_COMMENT);
    if (menuId == IDR_SESSION_TYPE) {
      add(file, ID_GENERATE_SECTION_CURVE);
      add(file, ID_EXPORT);
    }
    break;
  case IDR_PREVIEW_TYPE:
    add(file, ID_FILE_PRINT);
    add(file, ID_FILE_PRINT_PREVIEW);
    add(file, ID_FILE_PRINT_SETUP);
    break;
  default:
    add(file, ID_FILE_OPEN);
    break;
  }
  file->addSeparator();
  add(file, ID_APP_EXIT);
  add(bar->addMenu(QStringLiteral("&View")), ID_VIEW_STATUS_BAR);
  add(bar->addMenu(QStringLiteral("&?")), ID_APP_ABOUT);
}

void CMainFrame::createToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Standard"));
  toolBar_->setObjectName(QString::number(IDR_MAINFRAME));
  toolBar_->setIconSize(QSize(16, 15));
  toolBar_->setMovable(true);
  toolBar_->addAction(actions_[ID_FILE_OPEN]);
  toolBar_->addSeparator();
  for (int id : {int(ID_TOLERANCE), int(ID_SHOW_ALL_POINTS), int(ID_SNAPSHOT), int(ID_ADD_COMMENT),
                 int(ID_GENERATE_SECTION_CURVE)})
    toolBar_->addAction(actions_[id]);
  addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::createStatusBar() {
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

void CMainFrame::showStatusText(const QString &text) {
  messagePane_->setText(text.left(255));
  // Loading runs without returning to the event loop: paint now.
  statusBar()->clearMessage();
  messagePane_->repaint();
  statusBar()->repaint();
  emit statusTextShown(messagePane_->text());
}

QString CMainFrame::statusText() const { return messagePane_->text(); }

QList<CChildFrame *> CMainFrame::childFrames() const {
  QList<CChildFrame *> out;
  for (QMdiSubWindow *w : mdi_->subWindowList())
    if (auto *c = qobject_cast<CChildFrame *>(w))
      out.push_back(c);
  return out;
}

CChildFrame *CMainFrame::activeChild() const {
  return qobject_cast<CChildFrame *>(mdi_->activeSubWindow());
}

void CMainFrame::subWindowActivated(QMdiSubWindow *w) {
  auto *child = qobject_cast<CChildFrame *>(w);
  if (child && child->view()) {
    view3d::setCurrent(child->view());
    VelmoraViewerWE_Doc::setCurrent(child->document());
  }
  if (child) {
    buildMenu(child->templateId());
    setWindowTitle(QStringLiteral("VelmoraViewer - ") + child->windowTitle());
  } else if (mdi_->subWindowList().isEmpty()) {
    buildMenu(IDR_MAINFRAME);
    setWindowTitle(QStringLiteral("VelmoraViewer"));
  }
  updateCommandStates();
}

void CMainFrame::updateCommandStates() {
  CChildFrame *child = activeChild();
  const bool has3d = child && child->view();
  actions_[ID_TOLERANCE]->setEnabled(has3d);
  actions_[ID_SHOW_ALL_POINTS]->setEnabled(has3d);
  actions_[ID_SNAPSHOT]->setEnabled(has3d && view3d::snapshotAvailable());
  actions_[ID_ADD_COMMENT]->setEnabled(has3d && view3d::commentAvailable());
  actions_[ID_GENERATE_SECTION_CURVE]->setEnabled(has3d && view3d::sectionAvailable());
  actions_[ID_EXPORT]->setEnabled(has3d && view3d::exportAvailable());
  const bool preview = child && child->preview();
  for (int id : {int(ID_FILE_PRINT), int(ID_FILE_PRINT_PREVIEW)})
    actions_[id]->setEnabled(preview);
}

void CMainFrame::runCommand(int id) {
  CChildFrame *child = activeChild();
  view3d *view = child && child->view() ? child->view() : nullptr;
  if (view)
    view3d::setCurrent(view);
  switch (id) {
  case ID_FILE_OPEN:
    onFileOpen();
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
    if (view && view3d::snapshotAvailable())
      view->onSnapshot();
    break;
  case ID_ADD_COMMENT:
    if (view && view3d::commentAvailable())
      view->onAddComment();
    break;
  case ID_GENERATE_SECTION_CURVE:
    if (view && view3d::sectionAvailable())
      view->onGenerateSectionCurve();
    break;
  case ID_EXPORT:
    if (view && view3d::exportAvailable())
      view->onExport();
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

void CMainFrame::closeAllDocuments() {
  // Closed synchronously, so the new document is the only one when it opens.
  for (QMdiSubWindow *w : mdi_->subWindowList()) {
    w->hide();
    delete w;
  }
}

bool CMainFrame::onFileOpen() {
  bool exact = false;
  templates_.findByDocumentName(QStringLiteral("VelmoraViewer"), &exact);
  const QString path = UiServices::instance().openFileName(
      this, QStringLiteral("File name and path of the file"),
      {QStringLiteral("ses file (*.ses)"), QStringLiteral("All files (*)")}, QStringLiteral("ses"));
  if (path.isEmpty())
    return false;
  // The open windows close once the new file was accepted, so a refused file loses nothing.
  if (!openDocument(path, true))
    return false;
  if (view3d *v = view3d::current())
    v->onShowAllPoints();
  return true;
}

bool CMainFrame::openDocument(const QString &path, bool closeOthers) {
  const QFileInfo info(path);
  if (!info.exists() || !info.isFile() || !info.isReadable()) {
    UiServices::instance().message(this, QStringLiteral("Cannot open the file %1.").arg(path),
                                   QStringLiteral("The file does not exist or cannot be read."),
                                   UiServices::Icon::Warning);
    return false;
  }
  waitUntilOnScreen();
  auto doc = std::make_unique<VelmoraViewerWE_Doc>();
  VelmoraViewerWE_Doc *previous = nullptr;
  if (CChildFrame *c = activeChild())
    previous = c->document();
  // An empty file opens an empty window: there is nothing to read.
  const bool empty = info.size() == 0;
  if (!empty) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool ok = doc->readFile(info.absoluteFilePath(), error);
    QApplication::restoreOverrideCursor();
    if (!ok) {
      doc.reset();
      // The document that was current before stays current.
      VelmoraViewerWE_Doc::setCurrent(previous);
      UiServices::instance().message(this, error, {}, UiServices::Icon::Warning);
      return false;
    }
  }
  if (closeOthers)
    closeAllDocuments();
  VelmoraViewerWE_Doc *d = doc.get();
  auto *child = new CChildFrame(std::move(doc));
  mdi_->addSubWindow(child);
  child->show();
  child->sizeClientArea(900, 600, mdi_->viewport()->size());
  view3d *view = child->view();
  view3d::setCurrent(view);
  VelmoraViewerWE_Doc::setCurrent(d);
  child->setWindowTitle(info.fileName());
  // Let the empty window appear before the model's first frame, which compiles the mesh.
  QCoreApplication::processEvents();
  if (!empty) {
    d->attachToView(*view);
    addRecentFile(info.absoluteFilePath());
  }
  mdi_->setActiveSubWindow(child);
  subWindowActivated(child);
  view->setFocus();
  view->renderFrame();
  updateCommandStates();
  return true;
}

void CMainFrame::waitUntilOnScreen() {
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

bool CMainFrame::openImagePreview(const QString &path) {
  if (!QFileInfo(path).isFile())
    return false;
  auto *child = new CChildFrame(createImagePreview(path, nullptr), QFileInfo(path).fileName());
  mdi_->addSubWindow(child);
  child->show();
  mdi_->setActiveSubWindow(child);
  updateCommandStates();
  return true;
}

void CMainFrame::about() {
  QDialog dlg(this);
  dlg.setObjectName(QString::number(IDD_ABOUTBOX));
  dlg.setWindowTitle(QStringLiteral("About VelmoraViewer"));
  auto *layout = new QVBoxLayout(&dlg);
  auto *row = new QHBoxLayout;
  auto *icon = new QLabel;
  icon->setPixmap(applicationIcon().pixmap(32, 32));
  row->addWidget(icon);
  auto *text = new QLabel(QStringLiteral("VelmoraViewer\nVersion 0.9.9.8"));
  text->setObjectName(QStringLiteral("aboutText"));
  row->addWidget(text, 1);
  layout->addLayout(row);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  layout->addWidget(buttons);
  dlg.exec();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent *e) {
  if (e->mimeData()->hasUrls())
    e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent *e) {
  // Dropped files open as further documents; the newest becomes current.
  for (const QUrl &url : e->mimeData()->urls())
    if (url.isLocalFile())
      openDocument(url.toLocalFile(), false);
  e->acceptProposedAction();
}

QStringList CMainFrame::recentFiles() {
  QSettings s(kSettingsOrg, kSettingsApp);
  QStringList out;
  for (int i = 1; i <= kRecentFiles; ++i) {
    const QString f = s.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
    if (!f.isEmpty())
      out.push_back(f);
  }
  return out;
}

void CMainFrame::addRecentFile(const QString &path) {
  QStringList list = recentFiles();
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kRecentFiles)
    list.removeLast();
  QSettings s(kSettingsOrg, kSettingsApp);
  for (int i = 1; i <= kRecentFiles; ++i)
    s.setValue(QStringLiteral("Recent File List/File%1").arg(i), list.value(i - 1));
}
