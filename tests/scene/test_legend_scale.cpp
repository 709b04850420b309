// Legend and scale bar in a 900 x 600 window: bar positions and colours, label text and
// places (compared with the same text drawn by hand), state left behind.
#include "scene/GLTextList.h"
#include "scene/LegendNode.h"
#include "scene/ScaleNode.h"
#include "scene/ViewState.h"
#include "support/SceneTestEnv.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>

using namespace scenetest;

namespace {

struct Overlay : TextViewTest {
  std::unique_ptr<LegendNode> legend(int n, bool extended, bool gradient) {
    auto l = std::make_unique<LegendNode>(&view, 0.25f, -0.25f, n, 0, gradient);
    l->extended = extended;
    l->setColour(1, 1, 1); // white labels on the black test background
    return l;
  }
  // The given text alone, drawn white at a window position.
  Pixels textAlone(const std::string &s, int x, int y) {
    beginFrame();
    windowOrtho();
    glColor3d(1, 1, 1);
    text->drawText(s, x, y, 0, 10);
    return grab();
  }
};

// Same pixels in the rectangle [x0, x1) x [y0, y1), and at least some lit.
::testing::AssertionResult sameRegion(const Pixels &a, const Pixels &b, int x0, int y0, int x1,
                                      int y1) {
  int lit = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      if (a.at(x, y) != b.at(x, y))
        return ::testing::AssertionFailure() << "differs at " << x << "," << y;
      lit += a.isBackground(x, y) ? 0 : 1;
    }
  if (lit == 0)
    return ::testing::AssertionFailure() << "nothing drawn there";
  return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(Overlay, LegendBarsAndLabelsAtTheirPixels) {
  auto l = legend(15, false, false);
  beginFrame();
  l->drawLegend(&view, 0);
  const Pixels f = grab();
  f.savePng(VELMORA_BINARY_DIR "/legend.png");
  // h = (600 - 50) / 15 = 36: the first bar covers rows 31..66 (exclusive top).
  EXPECT_TRUE(near(f.at(870, 31), 0, 0, 1));
  EXPECT_TRUE(near(f.at(879, 65), 0, 0, 1));
  EXPECT_TRUE(f.isBackground(875, 30));
  EXPECT_TRUE(f.isBackground(869, 40));
  EXPECT_TRUE(f.isBackground(880, 40));
  EXPECT_TRUE(f.isBackground(875, 66));                    // one-pixel gap between bars
  EXPECT_TRUE(near(f.at(875, 30 + 7 * 36 + 18), 0, 1, 0)); // middle bar green
  EXPECT_TRUE(near(f.at(875, 535), 1, 0, 0));              // last bar 535..570
  EXPECT_TRUE(near(f.at(875, 569), 1, 0, 0));
  EXPECT_TRUE(f.isBackground(875, 570));

  // Labels: "%4.3f" of lower + i * step, at x 830; first at y 30, second at 61, last 560.
  EXPECT_TRUE(sameRegion(f, textAlone("-0.250", 830, 30), 820, 25, 869, 45));
  EXPECT_TRUE(sameRegion(f, textAlone("-0.217", 830, 61), 820, 56, 869, 76));
  EXPECT_TRUE(sameRegion(f, textAlone("0.017", 830, 30 + 8 * 36 - 5), 820, 308, 869, 328));
  EXPECT_TRUE(sameRegion(f, textAlone("0.250", 830, 560), 820, 555, 869, 575));
}

TEST_F(Overlay, ExtendedLegendHasOutOfRangeBoxes) {
  auto l = legend(15, true, false);
  beginFrame();
  l->drawLegend(&view, 0);
  const Pixels f = grab();
  // h = (600 - 80) / 15 = 34, bars from 51; boxes 30..50 below and 561..580 above.
  EXPECT_TRUE(near(f.at(875, 30), 0.4, 0, 0.8));
  EXPECT_TRUE(near(f.at(875, 49), 0.4, 0, 0.8));
  EXPECT_TRUE(near(f.at(875, 51), 0, 0, 1));
  EXPECT_TRUE(near(f.at(875, 83), 0, 0, 1));
  EXPECT_TRUE(f.isBackground(875, 84));
  EXPECT_TRUE(near(f.at(875, 559), 1, 0, 0));
  EXPECT_TRUE(near(f.at(875, 561), 0.6, 0, 0.3));
  EXPECT_TRUE(near(f.at(875, 579), 0.6, 0, 0.3));
  EXPECT_TRUE(f.isBackground(875, 580));
  EXPECT_TRUE(sameRegion(f, textAlone("-0.250", 830, 50), 820, 45, 869, 65));
}

TEST_F(Overlay, GradientLegendBlendsFromBlueToRed) {
  auto l = legend(15, false, true);
  beginFrame();
  l->drawLegend(&view, 0);
  const Pixels f = grab();
  const auto bottom = f.at(875, 31), top = f.at(875, 569), mid = f.at(875, 30 + 7 * 36 + 18);
  EXPECT_EQ(bottom[0], 0);
  EXPECT_GT(bottom[2], 200);
  EXPECT_GT(top[0], 200);
  EXPECT_LT(top[1], 60);
  EXPECT_GT(mid[1], 240);
  // Smooth within a bar: its two ends differ.
  EXPECT_NE(f.at(875, 31), f.at(875, 65));
}

TEST_F(Overlay, LegendClampsBarCountsAndRestoresState) {
  auto none = legend(0, false, false);
  EXPECT_EQ(none->effectiveBarCount(), 1);
  auto many = legend(5000, false, false);
  EXPECT_EQ(many->effectiveBarCount(), 1000);

  beginFrame();
  GLdouble projBefore[16], mvBefore[16], projAfter[16], mvAfter[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projBefore);
  glGetDoublev(GL_MODELVIEW_MATRIX, mvBefore);
  // A clip plane that removes everything: the legend must still show.
  const GLdouble clipAll[] = {0, 0, 0, -1};
  glClipPlane(GL_CLIP_PLANE1, clipAll);
  glEnable(GL_CLIP_PLANE1);
  none->drawLegend(&view, 0); // one bar from 31 to 580
  many->drawLegend(&view, 0); // zero-height bars: labels only, no crash
  EXPECT_TRUE(glIsEnabled(GL_CLIP_PLANE1));
  glDisable(GL_CLIP_PLANE1);
  glGetDoublev(GL_PROJECTION_MATRIX, projAfter);
  glGetDoublev(GL_MODELVIEW_MATRIX, mvAfter);
  EXPECT_TRUE(std::equal(projBefore, projBefore + 16, projAfter));
  EXPECT_TRUE(std::equal(mvBefore, mvBefore + 16, mvAfter));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  GLboolean depthMask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  EXPECT_TRUE(depthMask);
  const Pixels f = grab();
  EXPECT_FALSE(f.isBackground(875, 31));
  EXPECT_FALSE(f.isBackground(875, 300));
  EXPECT_FALSE(f.isBackground(875, 579));
  EXPECT_TRUE(f.isBackground(875, 580));

  // Hidden, or belonging to another view: nothing.
  ViewState other;
  auto l = legend(15, false, false);
  beginFrame();
  l->drawLegend(&other, 0);
  l->visible = false;
  l->drawLegend(&view, 0);
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);
}

TEST_F(Overlay, PercentagesBesideTheBarsLeaveTheRestAlone) {
  for (bool extended : {false, true}) {
    auto l = legend(15, extended, false);
    beginFrame();
    l->drawLegend(&view, 0);
    const Pixels off = grab();
    EXPECT_EQ(off.countLit(760, 0, 825, kHeight), 0);

    l->entryShares.assign(17, 0.0);
    l->entryShares[0] = 0.25;      // below the band
    l->entryShares[8] = 0.7;       // the middle bar
    l->entryShares[16] = 0.000001; // above: a few points must not read as none
    beginFrame();
    l->drawLegend(&view, 0);
    const Pixels on = grab();
    on.savePng(VELMORA_BINARY_DIR "/legend-percentages.png");
    // Bars, boxes and labels unchanged.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 826; x < kWidth; ++x)
        ASSERT_EQ(on.at(x, y), off.at(x, y)) << x << "," << y << " extended " << extended;
    const int y0 = extended ? 50 : 30, h = extended ? 34 : 36;
    EXPECT_TRUE(sameRegion(on, textAlone("70.0%", 780, y0 + 7 * h + (h - 10) / 2 + 1), 770,
                           y0 + 7 * h + 1, 826, y0 + 8 * h));
    EXPECT_TRUE(sameRegion(on, textAlone("25.0%", 780, extended ? 35 : 12), 770, 0, 826, y0 + 1));
    EXPECT_TRUE(sameRegion(on, textAlone("<0.1%", 780, y0 + 15 * h + (extended ? 6 : 5)), 770,
                           y0 + 15 * h + 1, 826, kHeight));
  }
  EXPECT_EQ(LegendNode::percentText(0.9999), ">99.9%");
  EXPECT_EQ(LegendNode::percentText(1.0), "100.0%");
  EXPECT_EQ(LegendNode::percentText(0.0), "0.0%");
}

TEST_F(Overlay, ScaleBarStandsForARoundLength) {
  EXPECT_EQ(ScaleNode::label(ScaleNode::shownLength(250), 1), "20 mm");
  EXPECT_EQ(ScaleNode::label(ScaleNode::shownLength(7.5f), 1), "0.7 mm");
  EXPECT_EQ(ScaleNode::label(ScaleNode::shownLength(100 / 25.4f), 2), "0.3 inch");
  EXPECT_EQ(ScaleNode::label(ScaleNode::shownLength(50), 1), "5 mm");
  EXPECT_EQ(ScaleNode::label(ScaleNode::shownLength(1000), 1), "100 mm");
  EXPECT_EQ(ScaleNode::label(2.5f, 1), "2.5 mm");

  ScaleNode scale(&view, 0.2f, 0.2f, 1);
  scale.setColour(1, 1, 1);
  // The camera distance at which the window spans the given world width at the model.
  const auto spanning = [&](double width) {
    view.distance = 1;
    return width / (kWidth * view.pixelSize());
  };
  view.distance = spanning(250);
  beginFrame();
  scale.draw(&view, 0);
  const Pixels f = grab();
  f.savePng(VELMORA_BINARY_DIR "/scale.png");
  // Line from x 890 to 818 along the bottom row.
  EXPECT_FALSE(f.isBackground(889, 0));
  EXPECT_FALSE(f.isBackground(850, 0));
  EXPECT_FALSE(f.isBackground(819, 0));
  EXPECT_TRUE(f.isBackground(892, 0));
  EXPECT_TRUE(f.isBackground(815, 0));
  EXPECT_GE(f.countLit(0, 0, kWidth, 1), 71);
  EXPECT_LE(f.countLit(0, 0, kWidth, 1), 73);
  // "20 mm" from (846, 5).
  EXPECT_TRUE(sameRegion(f, textAlone("20 mm", 846, 5), 830, 3, 900, 25));

  // Zooming in: a span of 7.5 shows 0.7 mm over 900 * 0.7 / 7.5 = 84 px.
  view.distance = spanning(7.5);
  beginFrame();
  scale.draw(&view, 0);
  const Pixels g = grab();
  EXPECT_GE(g.countLit(0, 0, kWidth, 1), 83);
  EXPECT_LE(g.countLit(0, 0, kWidth, 1), 85);
  EXPECT_TRUE(sameRegion(g, textAlone("0.7 mm", 846, 5), 830, 3, 900, 25));

  scale.visible = false;
  beginFrame();
  scale.draw(&view, 0);
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);
  scale.visible = true;

  // A distance of 0 shows no line and does not fail.
  view.distance = 0;
  beginFrame();
  scale.draw(&view, 0);
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);
}
