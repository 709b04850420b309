// The section curve node: vertices as points or a polygon, per-vertex colours clamped to
// 0..1, visibility and view ownership, and the GL state it leaves behind.
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"
#include "view/PolylineNode.h"

#include <GL/gl.h>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {
constexpr int kW = 200, kH = 100;

OffscreenContext &context() {
  static OffscreenContext ctx;
  if (!ctx.isValid() && !ctx.create(kW, kH)) {
    std::fprintf(stderr, "no headless GL: %s\n", ctx.error().c_str());
    std::abort();
  }
  ctx.makeCurrent();
  return ctx;
}

// Black frame; world coordinates are window pixels (x right, y up).
void beginFrame() {
  context();
  glViewport(0, 0, kW, kH);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kW, 0, kH, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
  glLineWidth(1);
}

struct Pixels {
  std::vector<std::uint8_t> rgba;
  std::array<int, 3> at(int x, int y) const {
    const std::size_t i = (std::size_t(y) * kW + std::size_t(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
  }
  int lit() const {
    int n = 0;
    for (std::size_t i = 0; i < rgba.size(); i += 4)
      n += rgba[i] || rgba[i + 1] || rgba[i + 2];
    return n;
  }
};

Pixels grab() { return Pixels{context().readPixels()}; }

bool near(const std::array<int, 3> &px, int r, int g, int b) {
  return std::abs(px[0] - r) <= 1 && std::abs(px[1] - g) <= 1 && std::abs(px[2] - b) <= 1;
}

// Pixel centres, so that a 3.5-pixel point covers the pixel.
const Vec3d kPts[3] = {{20.5, 50.5, 0}, {100.5, 50.5, 0}, {180.5, 50.5, 0}};
} // namespace

TEST(Polyline, StartsAsPointsWithBlackVertexColoursAndOwnCopies) {
  Vec3d source[2] = {{1, 2, 3}, {4, 5, 6}};
  PolylineNode node(nullptr, 2, source);
  source[0].x = 99;
  EXPECT_EQ(node.count(), 2u);
  EXPECT_EQ(node.points()[0].x, 1);
  EXPECT_EQ(node.width, 3);
  EXPECT_FALSE(node.primitive);
  EXPECT_EQ(node.stippleMode, 1);
  for (const Colour &c : node.colours())
    EXPECT_EQ(c, (Colour{0, 0, 0}));
  node.setVertexColour(5, Colour{1, 1, 1}); // past the end: ignored
  node.setVertexColour(1, Colour{0.5, 0.25, 1});
  EXPECT_EQ(node.colours()[1], (Colour{0.5, 0.25, 1}));
  PolylineNode empty(nullptr, 0, nullptr);
  EXPECT_EQ(empty.count(), 0u);
}

TEST(Polyline, VertexColoursAreClampedAndOverrideNodeAndSelectionColour) {
  ViewState view;
  PolylineNode node(&view, 3, kPts);
  node.setColour(0, 1, 0);
  node.perVertexColours = true;
  node.setVertexColour(0, Colour{2.0, -1.0, 0.5});
  node.setVertexColour(1, Colour{0, 0, 1});
  node.setVertexColour(2, Colour{1, 1, -3});
  node.setSelected(true);
  beginFrame();
  node.draw(&view, 0);
  const Pixels f = grab();
  EXPECT_TRUE(near(f.at(20, 50), 255, 0, 128));
  EXPECT_TRUE(near(f.at(100, 50), 0, 0, 255));
  EXPECT_TRUE(near(f.at(180, 50), 255, 255, 0));
  // Points of size 3.5: a few pixels each, nothing between them.
  EXPECT_TRUE(near(f.at(60, 50), 0, 0, 0));
  EXPECT_GE(f.lit(), 3 * 9);
  EXPECT_LE(f.lit(), 3 * 16);
}

TEST(Polyline, NodeColourOrMagentaWhenSelectedWithoutVertexColours) {
  ViewState view;
  PolylineNode node(&view, 3, kPts);
  node.setColour(0, 1, 0);
  node.setVertexColour(0, Colour{1, 0, 0}); // unused: per-vertex colours are off
  beginFrame();
  node.draw(&view, 0);
  Pixels f = grab();
  EXPECT_TRUE(near(f.at(20, 50), 0, 255, 0));
  EXPECT_TRUE(near(f.at(180, 50), 0, 255, 0));
  node.setSelected(true);
  beginFrame();
  node.draw(&view, 0);
  f = grab();
  EXPECT_TRUE(near(f.at(20, 50), 255, 0, 255));
  EXPECT_TRUE(near(f.at(100, 50), 255, 0, 255));
}

TEST(Polyline, HiddenOrForeignNodesDrawNothing) {
  ViewState view, other;
  PolylineNode node(&view, 3, kPts);
  node.setColour(1, 1, 1);
  node.visible = false;
  beginFrame();
  node.draw(&view, 0);
  EXPECT_EQ(grab().lit(), 0);
  node.visible = true;
  beginFrame();
  node.draw(&other, 0);
  EXPECT_EQ(grab().lit(), 0);
  // A node without a view draws into any.
  PolylineNode anywhere(nullptr, 3, kPts);
  anywhere.setColour(1, 1, 1);
  beginFrame();
  anywhere.draw(&other, 0);
  EXPECT_GT(grab().lit(), 0);
}

TEST(Polyline, PolygonFillsAndStateIsRestored) {
  ViewState view;
  const Vec3d square[4] = {{10, 10, 0}, {60, 10, 0}, {60, 60, 0}, {10, 60, 0}};
  PolylineNode node(&view, 4, square);
  node.setColour(1, 0, 0);
  node.primitive = true;
  node.width = 20;
  beginFrame();
  glLineStipple(3, 0x1234);
  node.draw(&view, 0);
  const Pixels f = grab();
  EXPECT_TRUE(near(f.at(35, 35), 255, 0, 0));
  EXPECT_TRUE(near(f.at(80, 35), 0, 0, 0));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  GLfloat lineWidth = 0;
  glGetFloatv(GL_LINE_WIDTH, &lineWidth);
  EXPECT_EQ(lineWidth, 1.0f);
  GLint pattern = 0;
  glGetIntegerv(GL_LINE_STIPPLE_PATTERN, &pattern);
  EXPECT_EQ(pattern, 0x1234); // mode 1 leaves the stipple alone
  node.stippleMode = 2;
  node.draw(&view, 0);
  glGetIntegerv(GL_LINE_STIPPLE_PATTERN, &pattern);
  EXPECT_EQ(pattern, 0x00FF);
  GLint repeat = 0;
  glGetIntegerv(GL_LINE_STIPPLE_REPEAT, &repeat);
  EXPECT_EQ(repeat, 1);
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
