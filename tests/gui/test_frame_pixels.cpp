// What a rendered frame of the 3D view shows: the background gradient, the legend beside the
// model, and the model coloured by deviation in the middle.
#include "gui/GuiTestMain.h"
#include "view/ViewFixture.h"

#include <QImage>

namespace {
::testing::AssertionResult near(QRgb px, int r, int g, int b, int tol) {
  if (std::abs(qRed(px) - r) <= tol && std::abs(qGreen(px) - g) <= tol &&
      std::abs(qBlue(px) - b) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "pixel (" << qRed(px) << "," << qGreen(px) << "," << qBlue(px) << ") expected (" << r
         << "," << g << "," << b << ") +-" << tol;
}
} // namespace

using FramePixels = ViewFixture;

TEST_F(FramePixels, EmptyViewShowsOnlyTheGradientBackground) {
  const QImage img = view->grabFramebuffer();
  ASSERT_EQ(img.width(), 900);
  ASSERT_EQ(img.height(), 600);
  // Blue-grey at the top, light grey at the bottom; the rows next to the edges are within a
  // step of the corner colours.
  EXPECT_TRUE(near(img.pixel(0, 0), 68, 97, 136, 2));
  EXPECT_TRUE(near(img.pixel(899, 0), 68, 97, 136, 2));
  EXPECT_TRUE(near(img.pixel(0, 599), 230, 230, 230, 2));
  EXPECT_TRUE(near(img.pixel(899, 599), 230, 230, 230, 2));
  // Halfway up, halfway between.
  EXPECT_TRUE(near(img.pixel(450, 300), (68 + 230) / 2, (97 + 230) / 2, (136 + 230) / 2, 3));
  // Without a model there is no legend: where its bottom bar would be, background shows.
  const QRgb bar = img.pixel(875, 599 - 48);
  EXPECT_GT(qRed(bar), 200);
}

TEST_F(FramePixels, LoadedModelShowsLegendBarsAndDeviationColours) {
  load();
  const QImage img = view->grabFramebuffer();
  if (qEnvironmentVariableIsSet("VELMORA_SAVE_FRAMES"))
    img.save(qEnvironmentVariable("VELMORA_SAVE_FRAMES") + "/loaded.png");
  // Legend: bottom bar (window y 31..66) pure blue, top bar (y 535..570) pure red.
  EXPECT_TRUE(near(img.pixel(875, 599 - 48), 0, 0, 255, 1));
  EXPECT_TRUE(near(img.pixel(875, 599 - 552), 255, 0, 0, 1));
  // The square fills the middle; its centre point has deviation 0: green dominates.
  const QRgb centre = img.pixel(450, 300);
  EXPECT_GT(qGreen(centre), qRed(centre) + 60);
  EXPECT_GT(qGreen(centre), qBlue(centre) + 60);
  // Background corners are untouched by the model.
  EXPECT_TRUE(near(img.pixel(0, 0), 68, 97, 136, 2));
}

TEST_F(FramePixels, PanMovesTheModelAcrossTheWindow) {
  load();
  const QImage before = view->grabFramebuffer();
  // 400 pixels of pan move the camera 40 units: the square (20 wide) leaves the centre.
  view->panX = 400;
  const QImage after = view->grabFramebuffer();
  EXPECT_NE(before.pixel(450, 300), after.pixel(450, 300));
  EXPECT_TRUE(near(after.pixel(450, 300), (68 * 300 + 230 * 300) / 600,
                   (97 * 300 + 230 * 300) / 600, (136 * 300 + 230 * 300) / 600, 3));
}

VELMORA_GUI_TEST_MAIN()
