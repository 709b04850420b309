// Offscreen context and font lists: the frame is really drawn and read back, glyphs land on
// the baseline, texts are drawn literally, lists are released exactly.
#include "scene/GLTextList.h"
#include "support/SceneTestEnv.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace scenetest;

namespace {

struct InkBox {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, count = 0;
};

InkBox inkOf(const Pixels &f) {
  InkBox b;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      if (!f.isBackground(x, y)) {
        b.x0 = std::min(b.x0, x);
        b.x1 = std::max(b.x1, x);
        b.y0 = std::min(b.y0, y);
        b.y1 = std::max(b.y1, y);
        ++b.count;
      }
  return b;
}

Pixels drawBitmapText(GLTextList &t, const std::string &s, int x = 100, int y = 200) {
  beginFrame();
  windowOrtho();
  glColor3d(1, 1, 1);
  t.drawText(s, x, y, 0, 1.0);
  return grab();
}

} // namespace

TEST(OffscreenContext, DrawsImmediateModeAndReadsRowsBottomUp) {
  beginFrame();
  windowOrtho();
  glColor3d(1, 0, 0);
  glBegin(GL_QUADS); // bottom 10 rows only
  glVertex2d(0, 0);
  glVertex2d(kWidth, 0);
  glVertex2d(kWidth, 10);
  glVertex2d(0, 10);
  glEnd();
  const Pixels f = grab();
  ASSERT_EQ(f.rgba.size(), std::size_t(kWidth) * kHeight * 4);
  EXPECT_TRUE(near(f.at(5, 0), 1, 0, 0));
  EXPECT_TRUE(near(f.at(kWidth - 1, 9), 1, 0, 0));
  EXPECT_TRUE(f.isBackground(5, 10));
  EXPECT_TRUE(f.isBackground(5, kHeight - 1));
}

TEST(OffscreenContext, ResizeKeepsDrawingAndDepthWorks) {
  OffscreenContext &c = context();
  ASSERT_TRUE(c.resize(64, 32));
  EXPECT_EQ(c.width(), 64);
  EXPECT_EQ(c.height(), 32);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // A near green quad then a far red one: with depth testing, green must stay.
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  for (auto [z, r, g] : {std::tuple{-0.5, 0.0, 1.0}, std::tuple{0.5, 1.0, 0.0}}) {
    glColor3d(r, g, 0);
    glBegin(GL_QUADS);
    glVertex3d(-0.5, -0.5, z);
    glVertex3d(0.5, -0.5, z);
    glVertex3d(0.5, 0.5, z);
    glVertex3d(-0.5, 0.5, z);
    glEnd();
  }
  glDisable(GL_DEPTH_TEST);
  const auto px = c.readPixels();
  ASSERT_EQ(px.size(), 64u * 32u * 4u);
  auto at = [&](int x, int y) {
    const std::size_t i = (std::size_t(y) * 64 + x) * 4;
    return std::array<int, 3>{px[i], px[i + 1], px[i + 2]};
  };
  EXPECT_TRUE(near(at(32, 16), 0, 1, 0));
  EXPECT_TRUE(near(at(1, 1), 0, 0, 1));
  ASSERT_TRUE(c.resize(kWidth, kHeight));
  glClearColor(0, 0, 0, 1);
}

TEST(OffscreenContext, RefusesBadSizeWithMessage) {
  context();
  OffscreenContext other;
  EXPECT_FALSE(other.create(0, 10));
  EXPECT_FALSE(other.error().empty());
  EXPECT_FALSE(other.isValid());
  context(); // back to the shared context
}

TEST(GLTextList, AllocatesAndReleasesExactlyItsLists) {
  context();
  const GLuint before = glGenLists(1);
  auto *t = new GLTextList("test");
  const GLuint after = glGenLists(1);
  ASSERT_TRUE(t->ready());
  const GLuint base = t->listBase();
  for (GLuint i = 0; i < 256; ++i)
    EXPECT_TRUE(glIsList(base + i)) << i;
  delete t;
  for (GLuint i = 0; i < 256; ++i)
    EXPECT_FALSE(glIsList(base + i)) << i;
  EXPECT_TRUE(glIsList(before));
  EXPECT_TRUE(glIsList(after));
  glDeleteLists(before, 1);
  glDeleteLists(after, 1);
}

TEST(GLTextList, GlyphSitsOnBaselineAtRasterPosition) {
  GLTextList t("test");
  const Pixels f = drawBitmapText(t, "H");
  f.savePng(VELMORA_BINARY_DIR "/text_H.png");
  const InkBox b = inkOf(f);
  ASSERT_GT(b.count, 10);
  EXPECT_EQ(b.y0, 200);          // bottom of the letter on the baseline
  EXPECT_GE(b.y1 - b.y0 + 1, 8); // a 13-pixel font's capital
  EXPECT_LE(b.y1 - b.y0 + 1, 13);
  EXPECT_GE(b.x0, 100);
  EXPECT_LE(b.x0, 102);
  // A digit has at most one pixel of left bearing: its ink starts at the raster position.
  const InkBox zero = inkOf(drawBitmapText(t, "0"));
  EXPECT_GE(zero.x0, 100);
  EXPECT_LE(zero.x0, 101);
  // Descender of a 'g' goes below the baseline.
  const InkBox g = inkOf(drawBitmapText(t, "g"));
  EXPECT_LT(g.y0, 200);
}

TEST(GLTextList, AdvancesAndDrawsLiterally) {
  GLTextList t("test");
  const InkBox one = inkOf(drawBitmapText(t, "0"));
  const InkBox two = inkOf(drawBitmapText(t, "00"));
  EXPECT_GT(two.x1, one.x1 + 3);
  EXPECT_EQ(two.count, 2 * one.count);
  // A space draws no ink but advances.
  const InkBox spaced = inkOf(drawBitmapText(t, "0 0"));
  EXPECT_EQ(spaced.count, two.count);
  EXPECT_GE(spaced.x1, two.x1 + 3);

  // A percent sign is a glyph like any other: "%d%s" shows four glyphs, not a formatted
  // value, and equals its characters drawn one after another.
  const Pixels literal = drawBitmapText(t, "%d%s");
  beginFrame();
  windowOrtho();
  glColor3d(1, 1, 1);
  glRasterPos2d(100, 200);
  for (char ch : std::string("%d%s"))
    glCallList(t.listBase() + static_cast<unsigned char>(ch));
  const Pixels byHand = grab();
  EXPECT_EQ(literal.rgba, byHand.rgba);
  EXPECT_GT(inkOf(literal).count, 4 * 10);

  // Byte 255 draws nothing and does not move the raster position.
  EXPECT_EQ(inkOf(drawBitmapText(t, "\xff")).count, 0);
  EXPECT_EQ(drawBitmapText(t, "A\xff"
                              "B")
                .rgba,
            drawBitmapText(t, "AB").rgba);
}

TEST(GLTextList, BitmapsTakeTheCurrentColourAndIgnoreScale) {
  GLTextList t("test");
  beginFrame();
  windowOrtho();
  glColor3d(0, 1, 0);
  t.drawText("W", 300, 300, 0, 5.0);
  const Pixels f = grab();
  const InkBox b = inkOf(f);
  ASSERT_GT(b.count, 0);
  EXPECT_LE(b.y1 - b.y0, 13);
  for (int y = b.y0; y <= b.y1; ++y)
    for (int x = b.x0; x <= b.x1; ++x)
      if (!f.isBackground(x, y)) {
        ASSERT_TRUE(near(f.at(x, y), 0, 1, 0)) << x << "," << y; // no antialiasing
      }
  // The matrix is restored.
  GLdouble m[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  EXPECT_DOUBLE_EQ(m[0], 1.0);
}

TEST(GLTextList, OutlineFontMetricsAndWidth) {
  context();
  GLTextList first("test");
  GLTextList::createOutlineFont();
  ASSERT_TRUE(GLTextList::outlineFontReady());
  const unsigned base = GLTextList::outlineListBase();
  GLTextList::createOutlineFont(); // once per program
  EXPECT_EQ(GLTextList::outlineListBase(), base);

  const auto &m = GLTextList::outlineMetrics();
  const auto &H = m['H'];
  EXPECT_GT(H.advanceX, 0.4f);
  EXPECT_LT(H.advanceX, 1.2f);
  EXPECT_GT(H.blackBoxY, 0.6f); // cap height of a sans font, in em
  EXPECT_LT(H.blackBoxY, 0.8f);
  EXPECT_NEAR(H.originY, H.blackBoxY, 0.02f); // upper left corner, glyph sits on baseline
  EXPECT_GT(m[' '].advanceX, 0.f);
  EXPECT_EQ(m[255].advanceX, 0.f);

  EXPECT_FLOAT_EQ(GLTextList::outlineWidth("HA H", 2),
                  2 * H.advanceX + m['A'].advanceX + m[' '].advanceX);
  EXPECT_EQ(GLTextList::outlineWidth("HA", 1), 0.f);
  EXPECT_EQ(GLTextList::outlineWidth("", 2), 0.f);
  EXPECT_FLOAT_EQ(GLTextList::outlineWidth("H\xff", 2), H.advanceX);
}

TEST(GLTextList, OutlineGlyphsAreFilledWithHolesAndAdvance) {
  context();
  GLTextList first("test");
  GLTextList::createOutlineFont();
  const auto &m = GLTextList::outlineMetrics();
  beginFrame();
  windowOrtho();
  glTranslated(100, 200, 0);
  glScaled(200, 200, 1); // 200 px per em
  glListBase(GLTextList::outlineListBase());
  glCallLists(2, GL_UNSIGNED_BYTE, "OO");
  glListBase(0);
  const Pixels f = grab();
  f.savePng(VELMORA_BINARY_DIR "/text_outline_OO.png");
  const auto &O = m['O'];
  const int cx = 100 + int(200 * (O.originX + O.blackBoxX / 2));
  const int cy = 200 + int(200 * (O.originY - O.blackBoxY / 2));
  EXPECT_TRUE(f.isBackground(cx, cy));                              // hole of the O (odd winding)
  EXPECT_FALSE(f.isBackground(100 + int(200 * O.originX) + 5, cy)); // its left stroke
  // The second O is one advance further right.
  const int cx2 = cx + int(200 * O.advanceX);
  EXPECT_TRUE(f.isBackground(cx2, cy));
  EXPECT_FALSE(f.isBackground(100 + int(200 * (O.advanceX + O.originX)) + 5, cy));
}
