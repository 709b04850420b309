// Opening files through the real main frame: the defaults each kind of file gets, refused
// and empty files, the Open command and its dialog, dropping, the recent-file list, and the
// annotations saved beside a file and restored with it.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "app/SessionAnnotations.h"
#include "document/Document.h"
#include "gui/GuiTestMain.h"
#include "view/CommentNode.h"
#include "view/SceneRecord.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QUndoStack>
#include <QUrl>
#include <sys/stat.h>

namespace {
QByteArray bytesOf(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeBytes(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}
} // namespace

class LoadFlow : public AppFixture {
protected:
  SessionAnnotations *records() const {
    DocumentWindow *c = frame->activeChild();
    return c && c->document() ? c->document()->annotations() : nullptr;
  }
  // Opens a file and waits until its sidecar was read and applied (or refused).
  void openAndRestore(const QString &path) {
    ASSERT_TRUE(frame->openDocument(path, true));
    SessionAnnotations *r = records();
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([r] { return !r->restoring(); }, 10000));
  }
  std::size_t bannerCount() const { return activeView()->scene().banners.size(); }
};

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
  ModelView *view = activeView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(node->display.upperTolerance, 0.25);
  EXPECT_EQ(node->display.lowerTolerance, -0.25);
  EXPECT_EQ(code(node->display.displayMode), 4);
  EXPECT_EQ(code(node->display.pointSize), 0);
  EXPECT_EQ(code(node->display.pointFilter), code(view->display.pointFilter));
  EXPECT_EQ(node->display.magnification, 1.0f);
  EXPECT_EQ(node->model()->deviationMode, 3);
  EXPECT_EQ(view->display.upperTolerance, 0.25);
  EXPECT_EQ(view->display.lowerTolerance, -0.25);
  EXPECT_FALSE(view->interacting);
  EXPECT_FALSE(activeDocument()->hasNominalPoints());
  EXPECT_EQ(view->scene().pointCloud(), node);
  EXPECT_EQ(view->scene().models.head(), node);
  EXPECT_EQ(frame->currentMenuId(), 1289);
  EXPECT_EQ(frame->windowTitle(), "VelmoraViewer - part.ses");
  EXPECT_EQ(activeDocument()->path(), QFileInfo(file("part.ses")).absoluteFilePath());
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
  EXPECT_TRUE(activeDocument()->hasNominalPoints());
  EXPECT_TRUE(activeView()->hasNominalPoints);
}

TEST_F(LoadFlow, PointFileShowsPointsAndLeavesTolerancesAlone) {
  ASSERT_TRUE(frame->openDocument(pointFile(), true));
  GLPointCloud *node = currentNode();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(code(node->display.displayMode), 1);
  EXPECT_EQ(node->display.upperTolerance, 0.0); // the node's own default, not the session's 0.25
  EXPECT_EQ(node->model()->deviationMode, 0);
  EXPECT_EQ(node->model()->pointCount, 4);
  EXPECT_EQ(activeView()->display.upperTolerance, 0.25); // the view's default, untouched
  EXPECT_EQ(code(activeView()->display.displayMode),
            1); // applying settings keeps the points

  // A session file without triangles has no surface: its points show, coloured.
  const std::vector<Vec3f> pts = {{0, 0, 0}, {4, 0, 1}, {4, 2, 2}};
  writeSessionFile(file("cloud.ses").toStdString(), pts, {0.1f, -0.2f, 0.3f}, {});
  ASSERT_TRUE(frame->openDocument(file("cloud.ses"), true));
  EXPECT_EQ(code(currentNode()->display.displayMode), 1);
  EXPECT_EQ(code(currentNode()->display.pointSize), 1);
  EXPECT_EQ(currentNode()->model()->deviationMode, 3);
  EXPECT_EQ(code(activeView()->display.displayMode), 1);
  EXPECT_EQ(code(activeView()->display.pointSize), 1);
}

TEST_F(LoadFlow, UpperCaseSuffixIsStillASessionFile) {
  ASSERT_TRUE(frame->openDocument(sessionFile("PART.SES"), true));
  ASSERT_NE(currentNode(), nullptr);
  EXPECT_EQ(code(currentNode()->display.displayMode), 4);
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
  // A session file that holds no points opens and says so at once.
  ui.messages.clear();
  writeSessionFile(file("none.ses").toStdString(), {}, {}, {});
  EXPECT_TRUE(frame->openDocument(file("none.ses"), true));
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].startsWith("none.ses: the model has no points"))
      << ui.messages[0].toStdString();
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
  const QString sessionBefore = activeDocument()->path();
  writeTextFile(file("broken.ses").toStdString(), "short"); // shorter than a header
  EXPECT_FALSE(frame->openDocument(file("broken.ses"), true));
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages.front().contains("broken.ses")) << ui.messages.front().toStdString();
  // The open document, its window and the session path are untouched.
  ASSERT_EQ(frame->childFrames().size(), 1);
  EXPECT_EQ(currentNode(), before);
  EXPECT_EQ(activeDocument()->path(), sessionBefore);
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
  QPointer<DocumentWindow> first = frame->childFrames().front();
  ui.openAnswers = {pointFile()};
  frame->runCommand(57601);
  EXPECT_TRUE(first.isNull());
  ASSERT_EQ(frame->childFrames().size(), 1);
  ASSERT_NE(currentNode(), nullptr);
  EXPECT_EQ(code(currentNode()->display.displayMode), 1);
  ModelView *v = activeView();
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
  QPointer<DocumentWindow> first = frame->childFrames().front();
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
  EXPECT_EQ(code(currentNode()->display.displayMode), 1); // the point file came last
  EXPECT_EQ(activeDocument(), frame->childFrames().back()->document());
}

TEST_F(LoadFlow, EveryFileOfTheCommandLineOpensInAWindowOfItsOwn) {
  const QStringList files{sessionFile("a.ses"), pointFile()};
  app = std::make_unique<Application>();
  ASSERT_TRUE(app->initInstance(files));
  frame = app->mainFrame();
  QTRY_COMPARE(frame->childFrames().size(), 2);
  EXPECT_EQ(frame->childFrames().front()->windowTitle(), "a.ses"); // in command-line order
  EXPECT_EQ(frame->childFrames().back()->windowTitle(), "cloud.xyz");
}

TEST_F(LoadFlow, ActivatingAWindowMakesItsViewAndDocumentCurrent) {
  ASSERT_TRUE(frame->openDocument(sessionFile("a.ses"), false));
  ASSERT_TRUE(frame->openDocument(pointFile(), false));
  DocumentWindow *first = frame->childFrames().front();
  frame->mdiArea()->setActiveSubWindow(first);
  EXPECT_EQ(activeView(), first->view());
  EXPECT_EQ(activeDocument(), first->document());
  EXPECT_EQ(code(currentNode()->display.displayMode), 4);
  // A command now acts on that window.
  first->view()->panX = 12;
  frame->runCommand(32774);
  EXPECT_EQ(first->view()->panX, 0);
}

TEST_F(LoadFlow, RecentFilesKeepTheLastFourMostRecentFirst) {
  for (const char *n : {"1.ses", "2.ses", "3.ses", "4.ses", "5.ses", "3.ses"})
    ASSERT_TRUE(frame->openDocument(sessionFile(n), true));
  const QStringList recent = MainWindow::recentFiles();
  ASSERT_EQ(recent.size(), 4);
  EXPECT_TRUE(recent[0].endsWith("/3.ses"));
  EXPECT_TRUE(recent[1].endsWith("/5.ses"));
  EXPECT_TRUE(recent[2].endsWith("/4.ses"));
  EXPECT_TRUE(recent[3].endsWith("/2.ses"));
}

TEST_F(LoadFlow, AnnotationsAreSavedBesideTheFileAndRestoredAsTheyWere) {
  const QString path = sessionFile();
  openAndRestore(path);
  ModelView *view = activeView();
  Annotations made;
  made.display = {0.2,
                  -0.15,
                  9,
                  PointFilter::All,
                  true,
                  true,
                  DisplayMode::Triangles,
                  PointSize::Triangles,
                  1.0,
                  2,
                  BannerLineColour::Black,
                  true};
  made.banners = {{4, {3, 2, 1}, "check, \"this\""}, {7, {-6, 0, 0}, ""}};
  made.distances = {{0, 8, {0, -12, 0}, "span"}};
  made.comments = {{"Lot 7 \xc3\xa4", 40, 500, 24, 10, true}};
  made.section = SectionRecord{"Y/Z", {5, 0, 0}};
  std::vector<std::string> notes;
  records()->applyRecord(made, notes);
  EXPECT_TRUE(notes.empty());
  view->setStandardView(ModelView::StandardView::Isometric);
  view->panX = 25;
  view->panY = -10;
  view->zoomBy(1.3);
  frame->runCommand(ID_FILE_SAVE);
  const AnnotationsReadResult saved = readAnnotations((path + ".velmora.json").toStdString());
  ASSERT_TRUE(saved.ok) << saved.error;
  EXPECT_EQ(saved.annotations, records()->record());
  EXPECT_EQ(saved.annotations.banners[0].comment, made.banners[0].comment);
  EXPECT_EQ(saved.annotations.comments[0].text, made.comments[0].text);
  ASSERT_TRUE(saved.annotations.section.has_value());
  const QImage before = view->grabFramebuffer();

  frame->runCommand(ID_FILE_CLOSE); // saved: no question
  EXPECT_TRUE(ui.saveQuestions.isEmpty());
  openAndRestore(path);
  EXPECT_EQ(frame->statusText(), "Annotations restored");
  EXPECT_EQ(records()->record(), saved.annotations);
  EXPECT_FALSE(records()->hasUnsavedChanges());
  EXPECT_FALSE(activeView()->undoStack()->canUndo());
  EXPECT_EQ(activeView()->grabFramebuffer(), before);
}

TEST_F(LoadFlow, SidecarsThatDoNotFitAreNeitherAppliedNorReplacedWithoutAsking) {
  const QString path = sessionFile();
  const QString sidecar = path + ".velmora.json";
  Annotations other;
  other.session = {"part.ses", 5, 1};
  other.banners = {{1, {}, ""}};
  const QByteArray foreign = QByteArray::fromStdString(annotationsJson(other));
  QByteArray future = foreign;
  future.replace("\"version\": \"1.0\"", "\"version\": \"2.0\"");
  ASSERT_NE(future, foreign);
  for (const QByteArray &text : {foreign, QByteArray("{\"format\": \"velmora-annot"), future}) {
    writeBytes(sidecar, text);
    ui.messages.clear();
    openAndRestore(path);
    ASSERT_EQ(ui.messages.size(), 1) << text.toStdString();
    EXPECT_TRUE(ui.messages[0].startsWith("The annotations in part.ses.velmora.json were not "
                                          "applied."));
    EXPECT_EQ(bannerCount(), 0u);
    // A later save asks first; No offers another file, and cancelling that writes nothing.
    activeView()->calloutWorstPoints(1, 0);
    ui.questionAnswer = false;
    ui.saveAnswers = {QString()};
    const qsizetype asked = ui.questions.size();
    frame->runCommand(ID_FILE_SAVE);
    EXPECT_EQ(ui.questions.size(), asked + 1);
    EXPECT_TRUE(ui.saveAnswers.isEmpty());
    EXPECT_EQ(bytesOf(sidecar), text);
  }
  // Yes replaces it with this window's record.
  ui.questionAnswer = true;
  frame->runCommand(ID_FILE_SAVE);
  const AnnotationsReadResult now =
      readAnnotationsFor(sidecar.toStdString(), records()->record().session);
  ASSERT_TRUE(now.ok) << now.error;
  EXPECT_EQ(now.annotations.banners.size(), 1u);
}

TEST_F(LoadFlow, ClosingWithUnsavedAnnotationsAsksToSaveDiscardOrCancel) {
  const QString path = sessionFile();
  const QString sidecar = path + ".velmora.json";
  openAndRestore(path);
  activeView()->calloutWorstPoints(1, 0);
  ui.saveChoice = UiServices::SaveChoice::Cancel;
  frame->runCommand(ID_FILE_CLOSE);
  EXPECT_FALSE(frame->close());                                  // quitting asks too
  EXPECT_FALSE(frame->openDocument(sessionFile("b.ses"), true)); // so does Open
  ASSERT_EQ(frame->childFrames().size(), 1);
  EXPECT_EQ(ui.saveQuestions, QStringList(3, "Save annotations?"));
  ui.saveChoice = UiServices::SaveChoice::Save;
  frame->runCommand(ID_FILE_CLOSE);
  QTRY_VERIFY(frame->childFrames().isEmpty());
  ASSERT_TRUE(readAnnotations(sidecar.toStdString()).ok);
  EXPECT_EQ(readAnnotations(sidecar.toStdString()).annotations.banners.size(), 1u);

  openAndRestore(path);
  EXPECT_EQ(bannerCount(), 1u);
  activeView()->deleteSelected(); // nothing selected: no change
  frame->runCommand(ID_FILE_CLOSE);
  EXPECT_EQ(ui.saveQuestions.size(), 4); // nothing changed: not asked
  openAndRestore(path);
  activeView()->calloutWorstPoints(2, 0);
  ui.saveChoice = UiServices::SaveChoice::Discard;
  frame->runCommand(ID_FILE_CLOSE);
  QTRY_VERIFY(frame->childFrames().isEmpty());
  EXPECT_EQ(readAnnotations(sidecar.toStdString()).annotations.banners.size(), 1u);
}

VELMORA_GUI_TEST_MAIN()

TEST_F(LoadFlow, SavingOverWhatAnotherWindowSavedAsksAndReloadAppliesTheirs) {
  const QString path = sessionFile();
  const QString sidecar = path + ".velmora.json";
  openAndRestore(path);
  DocumentWindow *first = frame->childFrames().front();
  ASSERT_TRUE(frame->openDocument(path, false));
  DocumentWindow *second = frame->childFrames().back();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !records()->restoring(); }, 10000));
  // The second window saves two banners first: nothing was there, nobody is asked.
  activeView()->calloutWorstPoints(2, 0);
  frame->runCommand(ID_FILE_SAVE);
  EXPECT_TRUE(ui.choices.isEmpty());
  const QByteArray theirs = bytesOf(sidecar);
  ASSERT_FALSE(theirs.isEmpty());

  // The first window read no sidecar; one exists now: Ctrl+S asks, Cancel writes nothing.
  frame->mdiArea()->setActiveSubWindow(first);
  activeView()->calloutWorstPoints(1, 0);
  frame->runCommand(ID_FILE_SAVE);
  ASSERT_EQ(ui.choices, QStringList{"part.ses.velmora.json changed on disk."});
  EXPECT_EQ(bytesOf(sidecar), theirs);
  // "Reload theirs" shows the other window's banners in place of its own, as saved.
  ui.chooseAnswers = {1};
  frame->runCommand(ID_FILE_SAVE);
  EXPECT_EQ(bytesOf(sidecar), theirs);
  EXPECT_EQ(bannerCount(), 2u);
  EXPECT_FALSE(records()->hasUnsavedChanges());
  EXPECT_FALSE(activeView()->undoStack()->canUndo());
  // Now it holds what is on disk: a save replaces it without asking.
  activeView()->calloutWorstPoints(3, 0);
  frame->runCommand(ID_FILE_SAVE);
  EXPECT_EQ(ui.choices.size(), 2);
  EXPECT_GT(bannerCount(), 2u);
  EXPECT_EQ(readAnnotations(sidecar.toStdString()).annotations.banners.size(), bannerCount());

  // The second window's save would lose that: it asks, and "Replace" is its answer.
  frame->mdiArea()->setActiveSubWindow(second);
  ui.chooseAnswers = {0};
  frame->runCommand(ID_FILE_SAVE);
  EXPECT_EQ(ui.choices.size(), 3);
  EXPECT_EQ(readAnnotations(sidecar.toStdString()).annotations.banners.size(), 2u);
}

TEST_F(LoadFlow, ASessionFileChangedOnDiskIsNotWorkedOnWithoutAsking) {
  const QString path = sessionFile();
  openAndRestore(path);
  activeView()->calloutWorstPoints(1, 0);
  // Another program writes the file anew (another size).
  writeBytes(path, bytesOf(path) + QByteArray(16, '\0'));
  frame->runCommand(ID_FILE_SAVE);
  ASSERT_EQ(ui.choices, QStringList{"part.ses changed on disk."});
  EXPECT_FALSE(QFileInfo::exists(path + ".velmora.json"));
  // Keep goes on with the model in memory, and is not asked again for the same change.
  ui.chooseAnswers = {1};
  frame->runCommand(ID_FILE_SAVE);
  EXPECT_TRUE(QFileInfo::exists(path + ".velmora.json"));
  frame->runCommand(ID_FILE_SAVE);
  EXPECT_EQ(ui.choices.size(), 2);
  // Reload opens the file again in place of the window; the report asks as Save does.
  writeBytes(path, bytesOf(path) + QByteArray(16, '\0'));
  QPointer<DocumentWindow> old = frame->activeChild();
  ui.chooseAnswers = {0};
  frame->runCommand(ID_CREATE_REPORT);
  EXPECT_EQ(ui.choices.size(), 3);
  QTRY_VERIFY(!old && frame->childFrames().size() == 1);
  EXPECT_EQ(activeDocument()->path(), path);
}

TEST_F(LoadFlow, CommentTextsComeBackByteForByte) {
  const QString path = sessionFile();
  const QString sidecar = path + ".velmora.json";
  openAndRestore(path);
  Annotations made;
  made.comments = {{std::string(10000, 'x'), 40, 500, 24, 10, true},
                   {"Prüfung \xe6\xb8\xac\xe5\xae\x9a\nzweite Zeile\r\n\xce\xb1\xce\xb2", 60, 300,
                    20, 0, false}};
  ModelView *view = activeView();
  std::vector<std::string> notes;
  records()->applyRecord(made, notes);
  EXPECT_TRUE(notes.empty());
  frame->runCommand(ID_FILE_SAVE);
  const QByteArray first = bytesOf(sidecar);
  const AnnotationsReadResult saved = readAnnotations(sidecar.toStdString());
  ASSERT_TRUE(saved.ok) << saved.error;
  ASSERT_EQ(saved.annotations.comments.size(), 2u);
  EXPECT_EQ(saved.annotations.comments[0].text, made.comments[0].text);
  EXPECT_EQ(saved.annotations.comments[1].text, made.comments[1].text);
  // The node draws three lines; what it has no glyph for shows as '?'.
  auto *node = dynamic_cast<CommentNode *>(view->scene().comments.tail());
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->lines(), (std::vector<std::string>{"Pr\xfc"
                                                     "fung ??",
                                                     "zweite Zeile", "??"}));

  frame->runCommand(ID_FILE_CLOSE);
  openAndRestore(path);
  EXPECT_FALSE(records()->hasUnsavedChanges());
  std::remove(sidecar.toLocal8Bit().constData());
  frame->runCommand(ID_FILE_SAVE);
  EXPECT_EQ(bytesOf(sidecar), first);
}

TEST_F(LoadFlow, AHandEditedSidecarWithBadTolerancesOpensWithTheRestAndANote) {
  const QString path = sessionFile();
  openAndRestore(path);
  Annotations edited;
  edited.session = records()->record().session;
  edited.display.upperTolerance = -0.5; // below the lower tolerance: refused by the dialog
  edited.display.colourBars = 9;
  edited.banners = {{4, {3, 2, 1}, "kept"}};
  frame->runCommand(ID_FILE_CLOSE);
  writeBytes(path + ".velmora.json", QByteArray::fromStdString(annotationsJson(edited)));
  openAndRestore(path);
  EXPECT_TRUE(frame->statusText().startsWith("Annotations restored (") &&
              frame->statusText().contains("display.upperTolerance -0.5 is below"))
      << frame->statusText().toStdString();
  EXPECT_EQ(bannerCount(), 1u);
  EXPECT_EQ(activeView()->display.colourBars, 9);
  EXPECT_EQ(activeView()->display.upperTolerance, DisplaySettings{}.upperTolerance);
  EXPECT_EQ(activeDocument()->document()->banners().size(), 1u);
  EXPECT_FALSE(records()->hasUnsavedChanges());
}
