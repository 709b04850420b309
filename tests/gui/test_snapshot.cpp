// The Snapshot command: the bitmap holds the view's frame, success is announced only for a
// complete file, failures name the file, and cancelling does nothing.
#include "gui/GuiTestMain.h"
#include "test_snapshot_fakes.h"
#include "view/SnapshotWriter.h"
#include "view/ViewFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace {
class SnapshotTest : public ViewFixture {
protected:
  void SetUp() override {
    ViewFixture::SetUp();
    setImagePreviewOpener([this](const QString &path, const QString &) {
      previews.append(path);
      return true;
    });
  }
  void TearDown() override {
    setImagePreviewOpener({});
    ViewFixture::TearDown();
  }
  QStringList previews;
  FakeUi ui;
};

// Background colours of the frame's gradient: grey at the bottom, blue at the top.
const QRgb kBottomGrey = qRgb(230, 230, 230);
const QRgb kTopBlue = qRgb(68, 97, 136);
} // namespace

TEST(SnapshotBitmap, RowsBottomUpInBlueGreenRedOrder) {
  QImage frame(3, 2, QImage::Format_RGB32);
  frame.setPixel(0, 0, qRgb(1, 2, 3));
  frame.setPixel(1, 0, qRgb(4, 5, 6));
  frame.setPixel(2, 0, qRgb(7, 8, 9));
  frame.setPixel(0, 1, qRgb(10, 11, 12));
  frame.setPixel(1, 1, qRgb(13, 14, 15));
  frame.setPixel(2, 1, qRgb(16, 17, 18));
  const BitmapImage bmp = bitmapFromFrame(frame);
  ASSERT_EQ(bmp.width, 3);
  ASSERT_EQ(bmp.height, 2);
  ASSERT_EQ(bmp.bitCount, 32);
  ASSERT_EQ(bmp.pixels.size(), 24u);
  // The first stored row is the bottom row of the picture.
  const std::vector<std::uint8_t> expected = {12, 11, 10, 0, 15, 14, 13, 0, 18, 17, 16, 0,
                                              3,  2,  1,  0, 6,  5,  4,  0, 9,  8,  7,  0};
  EXPECT_EQ(bmp.pixels, expected);
}

TEST_F(SnapshotTest, FileHoldsTheViewsFrameAndOpensInPreview) {
  load();
  paint();
  const QString path = dir.filePath("shot.bmp");
  ui.nextSavePath = path;
  view->onSnapshot();

  ASSERT_EQ(ui.saveCalls.size(), 1u);
  EXPECT_EQ(ui.saveCalls[0].title, "Save snapshot");
  EXPECT_EQ(ui.saveCalls[0].filters, QStringList{"Bitmap file (*.bmp)"});
  EXPECT_EQ(ui.saveCalls[0].defaultSuffix, "bmp");
  EXPECT_TRUE(ui.saveCalls[0].defaultName.isEmpty());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Snapshot was successful created!");
  EXPECT_EQ(previews, QStringList{path});

  // Layout: 32 bits per pixel, no colour table, pixels at 54, rows bottom-up.
  const QByteArray bytes = readAllBytes(path);
  const QImage frame = view->grabFramebuffer();
  const int w = frame.width(), h = frame.height();
  ASSERT_GT(w, 0);
  ASSERT_EQ(bytes.size(), 54 + w * h * 4);
  EXPECT_EQ(bytes.left(2), "BM");
  EXPECT_EQ(le32(bytes, 2), std::uint32_t(bytes.size()));
  EXPECT_EQ(le32(bytes, 10), 54u);
  EXPECT_EQ(le32(bytes, 14), 40u);
  EXPECT_EQ(le32(bytes, 18), std::uint32_t(w));
  EXPECT_EQ(le32(bytes, 22), std::uint32_t(h));
  EXPECT_EQ(std::uint8_t(bytes[28]), 32);

  // Read back by an independent reader, the picture is the frame, pixel for pixel.
  const QImage shot(path);
  ASSERT_EQ(shot.size(), frame.size());
  int differing = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      differing += !near(shot.pixel(x, y), frame.pixel(x, y));
  EXPECT_EQ(differing, 0);
  // What that frame shows: the gradient at the corners, the legend's red and blue bars.
  EXPECT_TRUE(near(shot.pixel(0, h - 1), kBottomGrey, 2));
  EXPECT_TRUE(near(shot.pixel(0, 0), kTopBlue, 2));
  const QRect legend(w * 3 / 4, 0, w / 4, h);
  EXPECT_GT(countNear(shot, qRgb(255, 0, 0), legend), 20);
  EXPECT_GT(countNear(shot, qRgb(0, 0, 255), legend), 20);
}

TEST_F(SnapshotTest, CancelWritesAndShowsNothing) {
  load();
  ui.nextSavePath.clear();
  view->onSnapshot();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(previews.isEmpty());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // only the session file
}

TEST_F(SnapshotTest, FailuresNameTheFileLeaveOldFilesAndOpenNoPreview) {
  load();
  const QString input = dir.filePath("square.ses");
  const QByteArray measured = readAllBytes(input);
  // The window's own input file, a folder that does not exist, and a path through a file.
  const QString missing = dir.filePath("no-such-folder/shot.bmp");
  const QString throughFile = dir.filePath("square.ses/shot.bmp");
  // A target that cannot be replaced: a folder of that name, with a file inside.
  const QString blocked = dir.filePath("taken.bmp");
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken.bmp"));
  {
    QFile keep(blocked + "/keep.txt");
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("keep");
  }
  for (const QString &path : {input, missing, throughFile, blocked}) {
    ui.messages.clear();
    ui.nextSavePath = path;
    view->onSnapshot();
    ASSERT_EQ(ui.messages.size(), 1u) << path.toStdString();
    EXPECT_NE(ui.messages[0].text, "Snapshot was successful created!");
    EXPECT_TRUE(ui.messages[0].text.contains(path)) << ui.messages[0].text.toStdString();
    EXPECT_FALSE(ui.messages[0].detail.isEmpty());
    EXPECT_EQ(ui.messages[0].icon, UiServices::Icon::Warning);
  }
  EXPECT_TRUE(previews.isEmpty());
  EXPECT_EQ(readAllBytes(input), measured);
  EXPECT_FALSE(QFileInfo::exists(missing));
  EXPECT_TRUE(QFileInfo(blocked).isDir());
  EXPECT_EQ(readAllBytes(blocked + "/keep.txt"), "keep");
  // No temporary file is left behind in the folder.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"square.ses"});
}

TEST_F(SnapshotTest, ReplacesAnExistingFileAndTakesLongPaths) {
  load();
  // Far beyond the 224 bytes a fixed path buffer would hold.
  QString folder = dir.path();
  for (int i = 0; i < 6; ++i)
    folder += QStringLiteral("/a-rather-long-folder-name-for-the-snapshot-%1").arg(i);
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString path = folder + "/snapshot.bmp";
  ASSERT_GT(path.toUtf8().size(), 300);
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
  }
  ui.nextSavePath = path;
  view->onSnapshot();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Snapshot was successful created!");
  EXPECT_FALSE(QImage(path).isNull());
  EXPECT_EQ(previews, QStringList{path});
}

VELMORA_GUI_TEST_MAIN()
