// Opening files through the real main frame: the defaults each kind of file gets, refused
// and empty files, the Open command and its dialog, dropping and the recent-file list.
#include "AppFixture.h"
#include "gui/GuiTestMain.h"
#include "view/ProgramSettings.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <sys/stat.h>

using LoadFlow = AppFixture;

TEST_F(LoadFlow, StartsWithTheEmptyMainWindowAndItsMenu) {
  EXPECT_TRUE(frame->childFrames().isEmpty());
  EXPECT_EQ(frame->currentMenuId(), 128);
  EXPECT_EQ(frame->windowTitle(), "VelmoraViewer");
  EXPECT_EQ(frame->statusText(), "Ready");
}

TEST_F(LoadFlow, SessionFileGetsTheSessionDefaults) {
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  GLPointCloud *node = currentNode();
  ASSERT_NE(node, nullptr);
  view3d *view = view3d::current();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(node->upperTolerance, 0.25);
  EXPECT_EQ(node->lowerTolerance, -0.25);
  EXPECT_EQ(node->displayMode, 4);
  EXPECT_EQ(node->width, 0);
  EXPECT_EQ(node->pointFilter, view->pointFilter);
  EXPECT_EQ(node->magnification, 1.0f);
  EXPECT_EQ(node->model()->deviationMode, 3);
  EXPECT_EQ(view->upperTolerance, 0.25);
  EXPECT_EQ(view->lowerTolerance, -0.25);
  EXPECT_FALSE(view->interacting);
  EXPECT_FALSE(VelmoraViewerWE_Doc::current()->hasNominalPoints());
  EXPECT_EQ(view->scene().pointCloud(), node);
  EXPECT_EQ(view->scene().models.head(), node);
  EXPECT_EQ(frame->currentMenuId(), 1289);
  EXPECT_EQ(frame->windowTitle(), "VelmoraViewer - part.ses");
  EXPECT_EQ(QString::fromStdString(currentSessionPath()),
            QFileInfo(file("part.ses")).absoluteFilePath());
  // The status bar showed the load as it happened.
  ASSERT_GE(statusTexts.size(), 2);
  EXPECT_EQ(statusTexts.front(), "Is loading...");
  EXPECT_EQ(statusTexts.back(), "Ready");
  // The view's client area is 900 x 600 when the screen allows.
  EXPECT_EQ(view->width(), 900);
  EXPECT_EQ(view->height(), 600);
}

TEST_F(LoadFlow, NominalPointsAreRecordedOnTheDocument) {
  ASSERT_TRUE(frame->openDocument(sessionFile("nominal.ses", true), true));
  EXPECT_TRUE(VelmoraViewerWE_Doc::current()->hasNominalPoints());
  EXPECT_TRUE(view3d::current()->hasNominalPoints);
}

TEST_F(LoadFlow, PointFileShowsPointsAndLeavesTolerancesAlone) {
  ASSERT_TRUE(frame->openDocument(pointFile(), true));
  GLPointCloud *node = currentNode();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->displayMode, 1);
  EXPECT_EQ(node->upperTolerance, 0.0); // the node's own default, not the session's 0.25
  EXPECT_EQ(node->model()->deviationMode, 0);
  EXPECT_EQ(node->model()->pointCount, 4);
  EXPECT_EQ(view3d::current()->upperTolerance, 0.25); // the view's default, untouched
  EXPECT_EQ(view3d::current()->displayMode, 1);       // applying settings keeps the points

  // A session file without triangles has no surface: its points show, coloured.
  const std::vector<Vec3f> pts = {{0, 0, 0}, {4, 0, 1}, {4, 2, 2}};
  writeSessionFile(file("cloud.ses").toStdString(), pts, {0.1f, -0.2f, 0.3f}, {});
  ASSERT_TRUE(frame->openDocument(file("cloud.ses"), true));
  EXPECT_EQ(currentNode()->displayMode, 1);
  EXPECT_EQ(currentNode()->width, 1);
  EXPECT_EQ(currentNode()->model()->deviationMode, 3);
  EXPECT_EQ(view3d::current()->displayMode, 1);
  EXPECT_EQ(view3d::current()->pointSize, 1);
}

TEST_F(LoadFlow, UpperCaseSuffixIsStillASessionFile) {
  ASSERT_TRUE(frame->openDocument(sessionFile("PART.SES"), true));
  ASSERT_NE(currentNode(), nullptr);
  EXPECT_EQ(currentNode()->displayMode, 4);
  EXPECT_EQ(currentNode()->model()->triangleCount, 8);
}

TEST_F(LoadFlow, EmptyFileIsRefusedAsEmptyWithoutAWindow) {
  for (const char *name : {"empty.ses", "empty.xyz"}) {
    ui.messages.clear();
    writeTextFile(file(name).toStdString(), "");
    EXPECT_FALSE(frame->openDocument(file(name), true)) << name;
    ASSERT_EQ(ui.messages.size(), 1) << name;
    EXPECT_TRUE(ui.messages[0].contains(QString(name) + " is empty"))
        << ui.messages[0].toStdString();
    EXPECT_TRUE(frame->childFrames().isEmpty()) << name;
    EXPECT_EQ(frame->statusText(), "Ready");
  }
}

TEST_F(LoadFlow, PipesAndFoldersAreRefusedWithTheReasonAndNeverBlock) {
  const QString fifo = file("pipe.ses");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_FALSE(frame->openDocument(fifo, true)); // opening the pipe for reading would block
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  EXPECT_FALSE(frame->openDocument(dir.path(), true));
  ASSERT_EQ(ui.messages.size(), 2);
  EXPECT_TRUE(ui.messages[0].contains("not a regular file")) << ui.messages[0].toStdString();
  EXPECT_TRUE(ui.messages[1].contains("folder")) << ui.messages[1].toStdString();
  EXPECT_EQ(frame->childFrames().size(), 1);
}

TEST_F(LoadFlow, RefusedFileShowsItsMessageAndOpensNoWindow) {
  ASSERT_TRUE(frame->openDocument(sessionFile("good.ses"), true));
  GLPointCloud *before = currentNode();
  const QString sessionBefore = QString::fromStdString(currentSessionPath());
  writeTextFile(file("broken.ses").toStdString(), "short"); // shorter than a header
  EXPECT_FALSE(frame->openDocument(file("broken.ses"), true));
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages.front().contains("broken.ses")) << ui.messages.front().toStdString();
  // The open document, its window and the session path are untouched.
  ASSERT_EQ(frame->childFrames().size(), 1);
  EXPECT_EQ(currentNode(), before);
  EXPECT_EQ(QString::fromStdString(currentSessionPath()), sessionBefore);
  EXPECT_EQ(frame->statusText(), "Ready");
}

TEST_F(LoadFlow, MissingFileIsReportedWithoutAWindow) {
  EXPECT_FALSE(frame->openDocument(file("nowhere.ses"), true));
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].contains("does not exist")) << ui.messages[0].toStdString();
  EXPECT_TRUE(frame->childFrames().isEmpty());
}

TEST_F(LoadFlow, OpenCommandAsksWithItsDialogTextsAndCancelKeepsTheDocument) {
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  GLPointCloud *before = currentNode();
  ui.openAnswers = {QString()};
  EXPECT_FALSE(frame->onFileOpen());
  EXPECT_EQ(ui.lastTitle, "File name and path of the file");
  EXPECT_EQ(ui.lastFilters.value(0), "ses file (*.ses)");
  EXPECT_EQ(ui.lastSuffix, "ses");
  ASSERT_EQ(frame->childFrames().size(), 1);
  EXPECT_EQ(currentNode(), before);
}

TEST_F(LoadFlow, SecondOpenClosesTheFirstAndShowsAllPoints) {
  ASSERT_TRUE(frame->openDocument(sessionFile("a.ses"), true));
  QPointer<CChildFrame> first = frame->childFrames().front();
  ui.openAnswers = {pointFile()};
  frame->runCommand(57601);
  EXPECT_TRUE(first.isNull());
  ASSERT_EQ(frame->childFrames().size(), 1);
  ASSERT_NE(currentNode(), nullptr);
  EXPECT_EQ(currentNode()->displayMode, 1);
  view3d *v = view3d::current();
  EXPECT_EQ(v, frame->childFrames().front()->view());
  EXPECT_EQ(v->panX, 0);
  // The point file spans 4 x 2 x 3: centred on its box and fitted to it.
  EXPECT_EQ(v->centre, (Vec3d{2, 1, 1.5}));
  const double fitted = v->distance;
  v->distance = 1;
  v->zoomToFit();
  EXPECT_DOUBLE_EQ(v->distance, fitted);
}

TEST_F(LoadFlow, OpenCommandWithARefusedFileKeepsTheOpenDocument) {
  ASSERT_TRUE(frame->openDocument(sessionFile(), true));
  QPointer<CChildFrame> first = frame->childFrames().front();
  writeTextFile(file("bad.ses").toStdString(), std::string(40, '\xff')); // negative counts
  ui.openAnswers = {file("bad.ses")};
  EXPECT_FALSE(frame->onFileOpen());
  EXPECT_EQ(ui.messages.size(), 1);
  EXPECT_FALSE(first.isNull());
  EXPECT_EQ(frame->childFrames().size(), 1);
  EXPECT_NE(currentNode(), nullptr);
}

TEST_F(LoadFlow, DroppedFilesOpenAsFurtherDocumentsAndTheNewestIsCurrent) {
  ASSERT_TRUE(frame->openDocument(sessionFile("a.ses"), true));
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(sessionFile("b.ses")), QUrl::fromLocalFile(pointFile())});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(frame, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(frame, &drop);
  ASSERT_EQ(frame->childFrames().size(), 3) << ui.messages.join("; ").toStdString();
  EXPECT_EQ(currentNode()->displayMode, 1); // the point file came last
  EXPECT_EQ(VelmoraViewerWE_Doc::current(), frame->childFrames().back()->document());
}

TEST_F(LoadFlow, EveryFileOfTheCommandLineOpensInAWindowOfItsOwn) {
  const QStringList files{sessionFile("a.ses"), pointFile()};
  app = std::make_unique<CKestrinApp>();
  ASSERT_TRUE(app->initInstance(files));
  frame = app->mainFrame();
  QTRY_COMPARE(frame->childFrames().size(), 2);
  EXPECT_EQ(frame->childFrames().front()->windowTitle(), "a.ses"); // in command-line order
  EXPECT_EQ(frame->childFrames().back()->windowTitle(), "cloud.xyz");
}

TEST_F(LoadFlow, ActivatingAWindowMakesItsViewAndDocumentCurrent) {
  ASSERT_TRUE(frame->openDocument(sessionFile("a.ses"), false));
  ASSERT_TRUE(frame->openDocument(pointFile(), false));
  CChildFrame *first = frame->childFrames().front();
  frame->mdiArea()->setActiveSubWindow(first);
  EXPECT_EQ(view3d::current(), first->view());
  EXPECT_EQ(VelmoraViewerWE_Doc::current(), first->document());
  EXPECT_EQ(currentNode()->displayMode, 4);
  // A command now acts on that window.
  first->view()->panX = 12;
  frame->runCommand(32774);
  EXPECT_EQ(first->view()->panX, 0);
}

TEST_F(LoadFlow, RecentFilesKeepTheLastFourMostRecentFirst) {
  for (const char *n : {"1.ses", "2.ses", "3.ses", "4.ses", "5.ses", "3.ses"})
    ASSERT_TRUE(frame->openDocument(sessionFile(n), true));
  const QStringList recent = CMainFrame::recentFiles();
  ASSERT_EQ(recent.size(), 4);
  EXPECT_TRUE(recent[0].endsWith("/3.ses"));
  EXPECT_TRUE(recent[1].endsWith("/5.ses"));
  EXPECT_TRUE(recent[2].endsWith("/4.ses"));
  EXPECT_TRUE(recent[3].endsWith("/2.ses"));
}

VELMORA_GUI_TEST_MAIN()
