// The main frame's resources: menus with their ids and texts, tool bar, status bar panes,
// accelerators, command states, the About box and the frame's placement.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "app/DocTemplate.h"
#include "gui/GuiTestMain.h"
#include "view/DLGTolerance.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {
// "popup/id" entries of the menu bar in order, separators as "popup/-".
QStringList menuLayout(QMenuBar *bar) {
  QStringList out;
  for (QAction *top : bar->actions()) {
    QMenu *m = top->menu();
    if (!m)
      continue;
    for (QAction *a : m->actions())
      out << top->text() + "/" + (a->isSeparator() ? QString("-") : a->data().toString());
  }
  return out;
}
} // namespace

using MainFrame = AppFixture;

TEST_F(MainFrame, MenusFollowTheActiveDocumentType) {
  EXPECT_EQ(menuLayout(frame->menuBar()),
            QStringList({"&File/57601", "&File/-", "&File/57665", "&View/59393", "&?/57664"}));
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  EXPECT_EQ(menuLayout(frame->menuBar()),
            QStringList({"&File/32782", "&File/32774", "&File/222", "&File/223", "&File/32777",
                         "&File/32773", "&File/-", "&File/57665", "&View/59393", "&?/57664"}));
  // Closing the last document window brings the start menu back.
  frame->mdiArea()->closeAllSubWindows();
  QCoreApplication::processEvents();
  EXPECT_EQ(frame->currentMenuId(), 128);
}

TEST_F(MainFrame, CommandTextsPromptsAndAccelerators) {
  const struct {
    int id;
    const char *text, *prompt;
  } cases[] = {
      {ID_FILE_OPEN, "&Open...\tCtrl+O", "Open an existing document"},
      {ID_TOLERANCE, "&Tolerance", "Open the tolerance dialog."},
      {ID_SHOW_ALL_POINTS, "Show &all points", "Show all Points"},
      {ID_SNAPSHOT, "&Snapshot", "Snapshot of the current view"},
      {ID_ADD_COMMENT, "&Add a Comment", "Add a Comment "},
      {ID_GENERATE_SECTION_CURVE, "Generate Section Curve", "Generate Section Curve"},
      {ID_EXPORT, "Export", ""},
      {ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents"},
      {ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar"},
      {ID_APP_ABOUT, "&About VelmoraViewer", ""},
      {ID_FILE_PRINT, "&Print...\tCtrl+P", ""},
      {ID_FILE_PRINT_PREVIEW, "Print Pre&view", ""},
      {ID_FILE_PRINT_SETUP, "P&rint Setup...", ""},
  };
  for (const auto &c : cases) {
    QAction *a = frame->action(c.id);
    ASSERT_NE(a, nullptr) << c.id;
    EXPECT_EQ(a->text(), c.text) << c.id;
    EXPECT_EQ(a->statusTip(), c.prompt) << c.id;
    EXPECT_EQ(a->data().toInt(), c.id);
  }
  EXPECT_EQ(frame->action(ID_FILE_OPEN)->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_EQ(frame->action(ID_FILE_PRINT)->shortcut(), QKeySequence("Ctrl+P"));
  EXPECT_EQ(frame->action(ID_TOLERANCE)->toolTip(), "Tolerance");
}

TEST_F(MainFrame, CtrlOOpensTheFileDialog) {
  ui.openAnswers = {QString()};
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
  QTest::keyClick(frame, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(ui.lastTitle, "File name and path of the file");
}

TEST_F(MainFrame, ToolBarHoldsOpenThenTheViewCommands) {
  QToolBar *tb = frame->toolBar();
  QStringList ids;
  for (QAction *a : tb->actions())
    ids << (a->isSeparator() ? QString("-") : a->data().toString());
  EXPECT_EQ(ids, QStringList({"57601", "-", "32782", "32774", "222", "223", "32777"}));
  EXPECT_EQ(tb->iconSize(), QSize(16, 15));
  for (QAction *a : tb->actions()) {
    if (a->isSeparator())
      continue;
    EXPECT_FALSE(a->icon().isNull()) << a->data().toInt();
  }
}

TEST_F(MainFrame, ViewCommandsNeedADocumentWindowAndTheirBuiltPart) {
  EXPECT_TRUE(frame->action(ID_FILE_OPEN)->isEnabled());
  EXPECT_FALSE(frame->action(ID_TOLERANCE)->isEnabled());
  EXPECT_FALSE(frame->action(ID_SHOW_ALL_POINTS)->isEnabled());
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  EXPECT_TRUE(frame->action(ID_TOLERANCE)->isEnabled());
  EXPECT_TRUE(frame->action(ID_SHOW_ALL_POINTS)->isEnabled());
  EXPECT_EQ(frame->action(ID_SNAPSHOT)->isEnabled(), view3d::snapshotAvailable());
  EXPECT_EQ(frame->action(ID_ADD_COMMENT)->isEnabled(), view3d::commentAvailable());
  EXPECT_EQ(frame->action(ID_GENERATE_SECTION_CURVE)->isEnabled(), view3d::sectionAvailable());
  EXPECT_EQ(frame->action(ID_EXPORT)->isEnabled(), view3d::exportAvailable());
  // Tolerance opens the settings dialog of the active view.
  frame->runCommand(ID_TOLERANCE);
  ASSERT_FALSE(view3d::current()->settingsDialog.isNull());
  EXPECT_TRUE(view3d::current()->settingsDialog->isVisible());
  view3d::current()->settingsDialog->close();
}

TEST_F(MainFrame, StatusBarHasTheMessagePaneAndThreeIndicators) {
  QStatusBar *sb = frame->statusBar();
  EXPECT_EQ(sb->objectName(), "59393");
  for (const char *id : {"59137", "59138", "59139"})
    EXPECT_NE(sb->findChild<QLabel *>(id), nullptr) << id;
  EXPECT_EQ(sb->findChild<QLabel *>("59137")->text(), "CAP");
  EXPECT_EQ(sb->findChild<QLabel *>("59138")->text(), "NUM");
  EXPECT_EQ(sb->findChild<QLabel *>("59139")->text(), "SCRL");
  frame->runCommand(ID_VIEW_STATUS_BAR);
  EXPECT_FALSE(sb->isVisible());
  frame->runCommand(ID_VIEW_STATUS_BAR);
  EXPECT_TRUE(sb->isVisible());
  // Long texts are cut to the pane's 255 characters.
  frame->showStatusText(QString(400, 'x'));
  EXPECT_EQ(frame->statusText().size(), 255);
}

TEST_F(MainFrame, AboutShowsTheVersion) {
  QString title, text;
  QTimer::singleShot(200, [&] {
    if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
      title = d->windowTitle();
      if (auto *l = d->findChild<QLabel *>("aboutText"))
        text = l->text();
      d->accept();
    }
  });
  frame->runCommand(ID_APP_ABOUT);
  EXPECT_EQ(title, "About VelmoraViewer");
  EXPECT_TRUE(text.contains("Version 0.9.9.8")) << text.toStdString();
}

TEST_F(MainFrame, FrameTakesTwoThirdsOfTheScreenAThirdIn) {
  const QRect s = QGuiApplication::primaryScreen()->geometry();
  const int h = int(s.height() / 1.5), w = int(s.width() / 1.5);
  EXPECT_EQ(frame->geometry().size(), QSize(w, h));
  EXPECT_EQ(frame->geometry().topLeft(), QPoint(s.x() + w / 3, s.y() + h / 3));
}

TEST_F(MainFrame, TemplatesAreRegisteredInOrderWithTheirStrings) {
  const auto &t = app->templates().all();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].resourceId(), 1289);
  EXPECT_EQ(t[0].documentName(), "VelmoraViewer");
  EXPECT_EQ(t[0].field(3), "ses-File (*.ses)");
  EXPECT_EQ(t[0].field(6), "Session-File");
  EXPECT_EQ(t[1].resourceId(), 1291);
  EXPECT_TRUE(t[1].docString().isEmpty());
  bool exact = false;
  EXPECT_EQ(app->templates().findByDocumentName("VelmoraViewer", &exact), &t[0]);
  EXPECT_TRUE(exact);
  EXPECT_EQ(app->templates().findByDocumentName("Other", &exact), &t[1]);
  EXPECT_FALSE(exact);
}

TEST_F(MainFrame, ImagePreviewOpensOnlyAnExistingFile) {
  EXPECT_FALSE(frame->openImagePreview(file("missing.bmp")));
  EXPECT_TRUE(frame->childFrames().isEmpty());
  QImage img(8, 8, QImage::Format_RGB32);
  img.fill(Qt::red);
  ASSERT_TRUE(img.save(file("pic.bmp")));
  EXPECT_TRUE(frame->openImagePreview(file("pic.bmp")));
  ASSERT_EQ(frame->childFrames().size(), 1);
  EXPECT_EQ(frame->childFrames().front()->templateId(), 1291);
  EXPECT_EQ(frame->currentMenuId(), 1291);
  EXPECT_TRUE(frame->action(ID_FILE_PRINT)->isEnabled());
}

VELMORA_GUI_TEST_MAIN()
