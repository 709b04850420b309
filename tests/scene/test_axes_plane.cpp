// Axes and the transparent plane: axis lengths from distance and window, colours along the
// projected axes, the corner triad near the lower-left corner, the plane's blending and the
// state it gives back.
#include "scene/AxesNode.h"
#include "scene/GLTextList.h"
#include "scene/TransparentPlane.h"
#include "scene/ViewState.h"
#include "support/SceneTestEnv.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <memory>

using namespace scenetest;

namespace {

struct Scene3D : TextViewTest {
  // Perspective camera at the given distance, turned so that all three axes show.
  void camera(double distance) {
    beginFrame();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, double(kWidth) / kHeight, 1, 10000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(0, 0, -distance);
    glRotated(25, 1, 0, 0);
    glRotated(-35, 0, 1, 0);
    view.distance = distance;
  }
  // Window position of a model point under the current matrices.
  static std::array<int, 2> project(double x, double y, double z) {
    GLdouble mv[16], pr[16], wx, wy, wz;
    GLint vp[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    gluProject(x, y, z, mv, pr, vp, &wx, &wy, &wz);
    return {int(wx), int(wy)};
  }
};

// Some pixel within one pixel of p has the colour.
bool colourNear(const Pixels &f, std::array<int, 2> p, double r, double g, double b) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (near(f.at(p[0] + dx, p[1] + dy), r, g, b))
        return true;
  return false;
}

int litAround(const Pixels &f, std::array<int, 2> p, int radius) {
  return f.countLit(p[0] - radius, p[1] - radius, p[0] + radius + 1, p[1] + radius + 1);
}

} // namespace

TEST_F(Scene3D, OriginTriadLengthFollowsDistanceAndWindow) {
  EXPECT_DOUBLE_EQ(AxesNode::axisLength(100, 900, 600), 9.0);
  EXPECT_NEAR(AxesNode::cornerAxisLength(900, 600), 0.063, 1e-12);

  AxesNode axes(&view, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  for (int i = 0; i < 16; ++i) // the scene's axes sit at the identity
    EXPECT_EQ(axes.frameMatrix()[i], (i % 5 == 0) ? 1.0 : 0.0);
  camera(100);
  axes.draw(&view, 0);
  std::array<int, 2> px[9];
  // L = 9, arrowheads 1.62 long, labels at 11.151.
  for (int i = 0; i < 3; ++i) {
    px[3 * i] = project(i == 0 ? 5 : 0, i == 1 ? 5 : 0, i == 2 ? 5 : 0);
    px[3 * i + 1] = project(i == 0 ? 8.7 : 0, i == 1 ? 8.7 : 0, i == 2 ? 8.7 : 0);
    px[3 * i + 2] = project(i == 0 ? 15 : 0, i == 1 ? 15 : 0, i == 2 ? 15 : 0);
  }
  const Pixels f = grab();
  f.savePng(VELMORA_BINARY_DIR "/axes.png");
  EXPECT_TRUE(colourNear(f, px[0], 1, 0, 0));
  EXPECT_TRUE(colourNear(f, px[1], 1, 0, 0));
  EXPECT_EQ(litAround(f, px[2], 2), 0); // beyond the arrow and its label
  EXPECT_TRUE(colourNear(f, px[3], 0, 1, 0));
  EXPECT_TRUE(colourNear(f, px[4], 0, 1, 0));
  EXPECT_EQ(litAround(f, px[5], 2), 0);
  EXPECT_TRUE(colourNear(f, px[6], 0, 0, 1));
  EXPECT_TRUE(colourNear(f, px[7], 0, 0, 1));
  EXPECT_EQ(litAround(f, px[8], 2), 0);
  // Cone around the x axis just past its line end.
  camera(100);
  const auto cone = project(9.5, 0, 0);
  const auto label = project(11.151, 0, 0);
  const auto yLabel = project(0, 11.151, 0);
  const auto zLabel = project(0, 0, 11.151);
  EXPECT_GE(litAround(f, cone, 2), 6);
  // Labels in their axis colours, right and above of their raster positions.
  auto labelHas = [&](std::array<int, 2> p, double r, double g, double b) {
    for (int y = p[1]; y < p[1] + 12; ++y)
      for (int x = p[0]; x < p[0] + 10; ++x)
        if (near(f.at(x, y), r, g, b))
          return true;
    return false;
  };
  EXPECT_TRUE(labelHas(label, 1, 0, 0));
  EXPECT_TRUE(labelHas(yLabel, 0, 1, 0));
  EXPECT_TRUE(labelHas(zLabel, 0, 0, 1));

  // Twice the distance, twice the length: the point at 15 is now on the x axis.
  camera(200);
  axes.draw(&view, 0);
  const auto at15 = project(15, 0, 0);
  EXPECT_TRUE(colourNear(grab(), at15, 1, 0, 0));

  // Current colour and matrix are given back.
  glColor3d(0.25, 0.5, 0.75);
  GLdouble before[16], after[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, before);
  axes.draw(&view, 0);
  glGetDoublev(GL_MODELVIEW_MATRIX, after);
  EXPECT_TRUE(std::equal(before, before + 16, after));
  GLfloat c[4];
  glGetFloatv(GL_CURRENT_COLOR, c);
  EXPECT_FLOAT_EQ(c[1], 0.5f);

  axes.visible = false;
  camera(100);
  axes.draw(&view, 0);
  axes.drawCornerTriad(&view, 0, {50, 50, 50}, {1, 0, 0}, {0, 1, 0});
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);
}

TEST_F(Scene3D, AxesOffTheOriginAndRefusedAxes) {
  AxesNode moved(&view, {10, 0, 0}, {0, 2, 0}, {-1, 0, 0}); // x along y, y along -x
  const auto &m = moved.frameMatrix();
  EXPECT_DOUBLE_EQ(m[12], 10);
  EXPECT_DOUBLE_EQ(m[1], 1); // x axis column is (0, 1, 0)
  EXPECT_DOUBLE_EQ(m[4], -1);
  AxesNode skew(&view, {1, 2, 3}, {1, 0, 0}, {1, 1, 0}); // not orthogonal: identity kept
  EXPECT_DOUBLE_EQ(skew.frameMatrix()[0], 1);
  EXPECT_DOUBLE_EQ(skew.frameMatrix()[5], 1);
  EXPECT_DOUBLE_EQ(skew.frameMatrix()[12], 0);

  camera(100);
  moved.draw(&view, 0);
  const auto onX = project(10, 5, 0); // the node's x axis runs along the world's y
  EXPECT_TRUE(colourNear(grab(), onX, 1, 0, 0));
}

TEST_F(Scene3D, CornerTriadSitsNearTheLowerLeftCorner) {
  AxesNode axes(&view, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  camera(100);
  axes.drawCornerTriad(&view, 0, {50, 50, 50}, {1, 0, 0}, {0, 1, 0});
  const Pixels f = grab();
  f.savePng(VELMORA_BINARY_DIR "/corner_triad.png");
  int red = 0, green = 0, blue = 0;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 150; ++x) {
      const auto p = f.at(x, y);
      red += near(p, 1, 0, 0);
      green += near(p, 0, 1, 0);
      blue += near(p, 0, 0, 1);
    }
  EXPECT_GT(red, 15);
  EXPECT_GT(green, 15);
  EXPECT_GT(blue, 5);
  EXPECT_GT(litAround(f, {50, 50}, 1), 0); // the lines meet at the window position
  EXPECT_EQ(f.countLit(150, 150, kWidth, kHeight), 0);

  // Same size on screen whatever the distance.
  camera(1000);
  axes.drawCornerTriad(&view, 0, {50, 50, 50}, {1, 0, 0}, {0, 1, 0});
  EXPECT_NEAR(grab().countLit(0, 0, 150, 150), f.countLit(0, 0, 150, 150), 4);
}

TEST_F(Scene3D, PlaneBlendsAndGivesBackTheStateItChanges) {
  TransparentPlane plane(&view, {{100, 100, 0}, {300, 100, 0}, {300, 300, 0}, {100, 300, 0}});
  EXPECT_TRUE(plane.isTransparent());
  plane.setColour(1, 1, 1);
  beginFrame();
  windowOrtho();
  glEnable(GL_CULL_FACE);
  glBlendFunc(GL_ONE, GL_ZERO);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40);
  plane.drawPlane(&view, 0);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  GLint src = 0, dst = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  EXPECT_EQ(src, GL_ONE);
  EXPECT_EQ(dst, GL_ZERO);
  GLfloat shininess = 0;
  glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
  EXPECT_EQ(shininess, 40.f);
  Pixels f = grab();
  EXPECT_TRUE(near(f.at(200, 200), 0.2, 0.2, 0.2)); // white at 0.2 over black
  EXPECT_TRUE(f.isBackground(350, 200));

  // Selected: magenta; the outline is opaque and not closed.
  plane.setSelected(true);
  plane.outline = true;
  glDisable(GL_CULL_FACE);
  beginFrame();
  windowOrtho();
  plane.drawPlane(&view, 0);
  f = grab();
  f.savePng(VELMORA_BINARY_DIR "/plane.png");
  EXPECT_TRUE(near(f.at(200, 200), 0.2, 0, 0.2));
  EXPECT_TRUE(colourNear(f, {200, 100}, 1, 0, 1));  // first edge
  EXPECT_TRUE(colourNear(f, {300, 200}, 1, 0, 1));  // second edge
  EXPECT_FALSE(colourNear(f, {100, 200}, 1, 0, 1)); // closing edge not drawn

  // A plane placed elsewhere, hidden, or in another view.
  Placement up;
  up.setTranslation({0, 200, 0});
  plane.setPlacement(up);
  plane.outline = false;
  beginFrame();
  windowOrtho();
  plane.drawPlane(&view, 0);
  f = grab();
  EXPECT_TRUE(f.isBackground(200, 200));
  EXPECT_TRUE(near(f.at(200, 400), 0.2, 0, 0.2));
  ViewState other;
  beginFrame();
  windowOrtho();
  plane.drawPlane(&other, 0);
  plane.visible = false;
  plane.drawPlane(&view, 0);
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);

  plane.transform(up);
  EXPECT_EQ(plane.corners()[2].y, 500);
  TransparentPlane empty(&view, {});
  empty.drawPlane(&view, 0); // no corners: nothing, no failure
}
