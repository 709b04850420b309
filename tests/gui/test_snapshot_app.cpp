// The Snapshot command in the running application: from the menu command to the picture
// in an image preview window of the main frame.
#include "app/Application.h"
#include "app/CommandIds.h"
#include "app/DocumentWindow.h"
#include "app/MainWindow.h"
#include "gui/GuiTestMain.h"
#include "gui/TestFiles.h"
#include "preview/ImagePreview.h"
#include "preview/ImagePreviewDocument.h"
#include "test_snapshot_fakes.h"
#include "view/ModelView.h"

#include <QTemporaryDir>
#include <QTest>

TEST(SnapshotInApplication, CommandWritesTheFileAndOpensItsPreview) {
  QTemporaryDir dir;
  const QString session = dir.filePath("square.ses");
  writeSquareSession(session.toStdString());
  Application app;
  ASSERT_TRUE(app.initInstance(QString()));
  MainWindow *frame = app.mainFrame();
  ASSERT_TRUE(frame->openDocument(session, true));
  DocumentWindow *doc = frame->activeChild();
  ASSERT_NE(doc, nullptr);
  ASSERT_NE(doc->view(), nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(doc->view()));
  ASSERT_TRUE(frame->action(ID_SNAPSHOT)->isEnabled());

  FakeUi ui;
  const QString shot = dir.filePath("shot.bmp");
  ui.nextSavePath = shot;
  frame->runCommand(ID_SNAPSHOT);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Snapshot was successful created!");

  // A second window, an image preview of the written file, at the view's size.
  const QList<DocumentWindow *> children = frame->childFrames();
  ASSERT_EQ(children.size(), 2);
  DocumentWindow *preview = nullptr;
  for (DocumentWindow *c : children)
    if (c->preview())
      preview = c;
  ASSERT_NE(preview, nullptr);
  auto *view = qobject_cast<ImagePreview *>(preview->preview());
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(view->document()->picture.isLoaded());
  EXPECT_EQ(view->document()->path(), shot);
  EXPECT_EQ(view->document()->picture.image().size(), doc->view()->grabFramebuffer().size());
  // Its printed title names the measured file and the view's tolerances.
  EXPECT_TRUE(view->printTitle().startsWith("square.ses")) << view->printTitle().toStdString();
  EXPECT_TRUE(view->printTitle().endsWith("Tolerance +0.25 / -0.25 mm"));

  // For looking at: the main frame with both windows.
  QCoreApplication::processEvents();
  frame->grab().save(QStringLiteral(VELMORA_BINARY_DIR "/snapshot-preview.png"));

  // A failed snapshot opens no further window.
  ui.messages.clear();
  ui.nextSavePath = dir.filePath("missing-folder/shot.bmp");
  frame->setFocus();
  doc->view()->onSnapshot();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text, "Snapshot was successful created!");
  EXPECT_EQ(frame->childFrames().size(), 2);
}

VELMORA_GUI_TEST_MAIN()
