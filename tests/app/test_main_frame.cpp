// The main frame's resources: menus with their ids and texts, tool bar, status bar panes,
// accelerators, command states, the About box and the frame's placement.
#include "AppFixture.h"
#include "app/CalloutDock.h"
#include "app/CommandIds.h"
#include "app/DocTemplate.h"
#include "export/ExportFile.h"
#include "gui/GuiTestMain.h"
#include "view/BannerNode.h"
#include "view/DistanceNode.h"
#include "view/SceneRecord.h"
#include "view/SectionDialog.h"
#include "view/SettingsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>

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
  const QStringList recent = {"&File/57616", "&File/57617", "&File/57618", "&File/57619",
                              "&File/-"};
  const QStringList windowAndHelp = {"&Window/57650", "&Window/57651", "&Window/32794", "&?/57664"};
  EXPECT_EQ(menuLayout(frame->menuBar()), QStringList({"&File/57601", "&File/57602", "&File/-"}) +
                                              recent + QStringList({"&File/57665", "&View/59393"}) +
                                              windowAndHelp);
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  EXPECT_EQ(menuLayout(frame->menuBar()),
            QStringList({"&File/57601", "&File/57602", "&File/-", "&File/57603", "&File/57604",
                         "&File/32795", "&File/-", "&File/32782", "&File/32774", "&File/222",
                         "&File/223", "&File/32777", "&File/32784", "&File/32785", "&File/32773",
                         "&File/32810", "&File/-"}) +
                recent + QStringList({"&File/57665", "&Edit/57643", "&Edit/57644", "&View/59393",
                                      "&View/32798", "&View/-",     "&View/32796", "&View/32797",
                                      "&View/-",     "&View/32783", "&View/-",     "&View/32786",
                                      "&View/32787", "&View/32788", "&View/32789", "&View/32790",
                                      "&View/32791", "&View/32792", "&View/-",     "&View/32793"}) +
                windowAndHelp);
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
      {ID_EXPORT, "Export", "Export the model with its deviation colours to VRML, U3D or 3D PDF"},
      {ID_VIEW_FRONT, "&Front\t1", "Look at the model from the front"},
      {ID_VIEW_ISOMETRIC, "&Isometric\t7", "Look at the model from an isometric corner"},
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
  EXPECT_EQ(frame->action(ID_TOLERANCE)->toolTip(), "Tolerance (Ctrl+T)");
  // The main commands have keys; none is taken twice, and none takes a key of the view.
  for (int id : {ID_TOLERANCE, ID_SHOW_ALL_POINTS, ID_SNAPSHOT, ID_GENERATE_SECTION_CURVE,
                 ID_EXPORT, ID_FILE_CLOSE, ID_APP_EXIT})
    EXPECT_FALSE(frame->action(id)->shortcut().isEmpty()) << id;
  const std::pair<int, const char *> recordKeys[] = {{ID_MEASURE_DISTANCE, "D"},
                                                     {ID_FILE_SAVE, "Ctrl+S"},
                                                     {ID_EDIT_UNDO, "Ctrl+Z"},
                                                     {ID_EDIT_REDO, "Ctrl+Shift+Z"}};
  for (const auto &[id, key] : recordKeys)
    EXPECT_EQ(frame->action(id)->shortcut(), QKeySequence(key)) << id;
  QList<QKeySequence> taken;
  for (char k = '1'; k <= '7'; ++k)
    taken << QKeySequence(QString(QChar(k)));
  for (QAction *a : frame->actions())
    for (const QKeySequence &key : a->shortcuts()) {
      EXPECT_FALSE(taken.contains(key)) << key.toString().toStdString();
      taken << key;
    }
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
  EXPECT_EQ(ids,
            QStringList({"57601", "-", "32782", "32774", "222", "223", "32777", "32773", "32796"}));
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
  EXPECT_TRUE(frame->action(ID_SNAPSHOT)->isEnabled());
  EXPECT_TRUE(frame->action(ID_ADD_COMMENT)->isEnabled());
  EXPECT_TRUE(frame->action(ID_GENERATE_SECTION_CURVE)->isEnabled());
  EXPECT_TRUE(frame->action(ID_EXPORT)->isEnabled());
  // Tolerance opens the settings dialog of the active view.
  frame->runCommand(ID_TOLERANCE);
  ASSERT_FALSE(activeView()->settingsDialog.isNull());
  EXPECT_TRUE(activeView()->settingsDialog->isVisible());
  activeView()->settingsDialog->close();
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

namespace {
QByteArray readAllBytes(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST_F(MainFrame, ExportInTheFirstOfTwoWindowsWritesAndNamesTheFirstModel) {
  const QString a = sessionFile("a.ses");
  ASSERT_TRUE(frame->openDocument(a, false));
  ASSERT_TRUE(frame->openDocument(sessionFile("b.ses"), false));
  DocumentWindow *first = frame->childFrames().front();
  frame->mdiArea()->setActiveSubWindow(first);
  // Only the first window's model has this band, so the colours tell the windows apart.
  GLPointCloud &n = *first->document()->pointCloud();
  n.display.upperTolerance = 0.1;
  n.display.colourBars = 5;
  const ColourScale scale = modelScale(n.display);
  ASSERT_TRUE(exportSessionFile(file("ref.wrl").toStdString(), a.toStdString(), scale).ok);
  const QByteArray measured = readAllBytes(a);
  ui.saveAnswers = {file("out.wrl"), a};
  frame->runCommand(ID_EXPORT);
  frame->runCommand(ID_EXPORT); // onto its own input: refused, the file stays as it was
  ASSERT_EQ(ui.messages.size(), 2);
  EXPECT_TRUE(ui.messages[0].startsWith("Exporting successful"));
  EXPECT_TRUE(ui.messages[1].startsWith("Exporting failed"));
  for (const QString &m : ui.messages)
    EXPECT_TRUE(m.contains("a.ses") && !m.contains("b.ses")) << m.toStdString();
  EXPECT_EQ(readAllBytes(file("out.wrl")), readAllBytes(file("ref.wrl")));
  EXPECT_EQ(readAllBytes(a), measured);
}

TEST_F(MainFrame, FileMenuClosesOpensRecentFilesAndRemembersTheFolder) {
  EXPECT_FALSE(frame->action(ID_FILE_CLOSE)->isEnabled());
  const QString a = sessionFile("a.ses"), b = pointFile("b.xyz");
  ui.openAnswers = {a};
  frame->runCommand(ID_FILE_OPEN);
  ASSERT_TRUE(frame->openDocument(b, true));
  // The open dialog starts where the last file was chosen.
  ui.openAnswers = {QString()};
  frame->runCommand(ID_FILE_OPEN);
  EXPECT_EQ(ui.lastDirectory, dir.path());
  // Recent files: most recent first, shown with their numbers; choosing one opens it alone.
  QAction *mru1 = frame->action(ID_FILE_MRU_FILE1), *mru2 = frame->action(ID_FILE_MRU_FILE1 + 1);
  EXPECT_TRUE(mru1->text().startsWith("&1 b.xyz")) << mru1->text().toStdString();
  EXPECT_TRUE(mru2->text().startsWith("&2 a.ses")) << mru2->text().toStdString();
  mru2->trigger();
  ASSERT_EQ(frame->childFrames().size(), 1);
  EXPECT_EQ(frame->activeChild()->document()->path(), QFileInfo(a).absoluteFilePath());
  // A recent file that is gone is reported and leaves the list.
  QFile::remove(b);
  ui.messages.clear();
  frame->action(ID_FILE_MRU_FILE1 + 1)->trigger();
  EXPECT_EQ(ui.messages.size(), 1);
  EXPECT_FALSE(MainWindow::recentFiles().contains(QFileInfo(b).absoluteFilePath()));
  // Close shuts the active window.
  frame->runCommand(ID_FILE_CLOSE);
  QCoreApplication::processEvents();
  EXPECT_TRUE(frame->childFrames().isEmpty());
}

TEST_F(MainFrame, CtrlWClosesTheActiveWindowAfterTheSavePromptAndClearsItsStatus) {
  ASSERT_TRUE(frame->openDocument(sessionFile("a.ses"), false));
  ASSERT_TRUE(frame->openDocument(sessionFile("b.ses"), false));
  // No other action shares the key (the windows' own menus included): an ambiguous shortcut
  // would never fire.
  const QKeySequence ctrlW(Qt::CTRL | Qt::Key_W);
  int holders = 0;
  for (QAction *a : frame->findChildren<QAction *>())
    holders += a->shortcuts().contains(ctrlW) ? 1 : 0;
  EXPECT_EQ(holders, 1);
  ModelView *view = frame->activeChild()->view();
  ASSERT_EQ(view->calloutWorstPoints(1, 0), 1); // an unsaved change
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
  EXPECT_FALSE(frame->statusText().isEmpty());
  // Cancel at the prompt keeps the window; Discard closes it.
  ui.saveChoice = FakeUi::SaveChoice::Cancel;
  QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(ui.saveQuestions.size(), 1);
  EXPECT_EQ(frame->childFrames().size(), 2);
  ui.saveChoice = FakeUi::SaveChoice::Discard;
  QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(ui.saveQuestions.size(), 2);
  ASSERT_EQ(frame->childFrames().size(), 1);
  EXPECT_EQ(frame->statusText(), QStringLiteral("Ready")); // its messages went with it
  // Unchanged: no prompt.
  QTest::keyClick(frame->activeChild()->view(), Qt::Key_W, Qt::ControlModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(ui.saveQuestions.size(), 2);
  EXPECT_TRUE(frame->childFrames().isEmpty());
}

TEST_F(MainFrame, WindowMenuArrangesWindowsInsideTheAreaAndCyclesThem) {
  ASSERT_TRUE(frame->openDocument(sessionFile("a.ses"), false));
  ASSERT_TRUE(frame->openDocument(pointFile(), false));
  const QRect area(QPoint(0, 0), frame->mdiArea()->viewport()->size());
  const auto inside = [&] {
    for (DocumentWindow *c : frame->childFrames())
      if (!area.contains(c->geometry()))
        return false;
    return true;
  };
  EXPECT_TRUE(inside());
  frame->runCommand(ID_WINDOW_CASCADE);
  EXPECT_TRUE(inside());
  frame->runCommand(ID_WINDOW_TILE_HORZ);
  EXPECT_TRUE(inside());
  const QList<DocumentWindow *> c = frame->childFrames();
  EXPECT_FALSE(c[0]->geometry().intersects(c[1]->geometry()));
  DocumentWindow *before = frame->activeChild();
  frame->runCommand(ID_WINDOW_NEXT);
  EXPECT_NE(frame->activeChild(), before);
}

TEST_F(MainFrame, SectionCommandsAndTheShowModelToggleFollowTheView) {
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  ModelView *view = activeView();
  QAction *showModel = frame->action(ID_VIEW_SHOW_MODEL);
  EXPECT_TRUE(showModel->isCheckable() && showModel->isChecked());
  EXPECT_FALSE(frame->action(ID_CLEAR_SECTION)->isEnabled());
  frame->runCommand(ID_GENERATE_SECTION_CURVE);
  QPointer<SectionDialog> dialog = qobject_cast<SectionDialog *>(view->sectionDialog);
  ASSERT_FALSE(dialog.isNull());
  qobject_cast<QComboBox *>(dialog->control(SectionDialog::IdPlane))->setCurrentIndex(1);
  qobject_cast<QLineEdit *>(dialog->control(SectionDialog::IdX))->setText("5");
  dialog->onCreate();
  EXPECT_FALSE(view->showModel);
  EXPECT_FALSE(showModel->isChecked());
  EXPECT_TRUE(frame->action(ID_CLEAR_SECTION)->isEnabled());
  EXPECT_TRUE(frame->action(ID_EXPORT_SECTION)->isEnabled());
  showModel->trigger();
  EXPECT_TRUE(view->showModel);
  EXPECT_TRUE(showModel->isChecked());
  frame->runCommand(ID_CLEAR_SECTION);
  EXPECT_TRUE(view->scene().sectionCurves.empty());
  EXPECT_FALSE(frame->action(ID_EXPORT_SECTION)->isEnabled());
  // The plane dialog closes with its document window.
  frame->runCommand(ID_FILE_CLOSE);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
}

TEST_F(MainFrame, CalloutListFollowsTheActiveViewItsSelectionAndExportsTheTable) {
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  ModelView *view = activeView();
  CalloutDock *dock = frame->calloutDock();
  EXPECT_FALSE(dock->isVisible());
  // The window fills the area's width: the docked list narrows the area and the window with
  // it, so its right edge (the legend) stays in sight.
  QMdiArea *area = frame->mdiArea();
  DocumentWindow *child = frame->activeChild();
  child->resize(area->viewport()->width(), child->height());
  child->move(0, 0);
  frame->runCommand(ID_VIEW_CALLOUTS);
  EXPECT_TRUE(dock->isVisible() && frame->action(ID_VIEW_CALLOUTS)->isChecked());
  QCoreApplication::processEvents();
  EXPECT_FALSE(dock->geometry().intersects(area->geometry()));
  EXPECT_TRUE(QRect(QPoint(0, 0), area->viewport()->size()).contains(child->geometry()));
  // The labels in the view lead with the ids of the list.
  ASSERT_EQ(view->calloutWorstPoints(2, 0), 2); // the two corners outside the band
  EXPECT_EQ(dynamic_cast<BannerNode *>(view->scene().banners.tail())->shownLine(0).rfind("B2 ", 0),
            0u);
  auto distance = makeDistance(view, *view->pointCloud()->model(), 0, 8, {}, 0, 3);
  DistanceNode *d = distance.get();
  view->scene().distances.append(distance.release());
  view->recordAdded({d}, "add distance");
  QTableWidget *t = dock->table();
  QStringList ids, statuses;
  for (int r = 0; r < t->rowCount(); ++r) {
    ids << t->item(r, CalloutDock::Id)->text();
    statuses << t->item(r, CalloutDock::Status)->text();
  }
  EXPECT_EQ(ids, QStringList({"B1", "B2", "D1a", "D1b", "D1"}));
  EXPECT_EQ(statuses, QStringList({"below", "above", "below", "above", ""}));
  // Rows select nodes and nodes select rows.
  t->selectRow(1);
  EXPECT_TRUE(view->scene().banners.tail()->isSelected());
  EXPECT_FALSE(view->scene().banners.head()->isSelected());
  view->selectOnly(d);
  EXPECT_EQ(t->currentRow(), 4);
  // A comment typed in the list is one undoable step.
  t->item(0, CalloutDock::Comment)->setText("fillet");
  auto *b1 = dynamic_cast<LabelNode *>(view->scene().banners.head());
  EXPECT_EQ(b1->comment, "fillet");
  frame->runCommand(ID_EDIT_UNDO);
  EXPECT_EQ(b1->comment, "");
  EXPECT_EQ(t->item(0, CalloutDock::Comment)->text(), "");
  ui.saveAnswers = {file("table.csv")};
  frame->runCommand(ID_EXPORT_CALLOUTS);
  QFile csv(file("table.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll().toStdString(), calloutCsv(calloutsOf(*view).rows));
  // Another window shows its own (none); back in the first its rows return.
  DocumentWindow *first = frame->activeChild();
  ASSERT_TRUE(frame->openDocument(sessionFile("b.ses"), false));
  EXPECT_EQ(t->rowCount(), 0);
  frame->mdiArea()->setActiveSubWindow(first);
  EXPECT_EQ(t->rowCount(), 5);
}

VELMORA_GUI_TEST_MAIN()
