// Point cloud drawing, checked on real pixels: deviation colours of the mesh, the display
// list's life, the points pass with stride, filter and needles, and the arrays path against
// the point-by-point path.
#include "scene/GLPointCloud.h"
#include "scene/ViewState.h"
#include "support/SceneModels.h"
#include "support/SceneTestEnv.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <random>

using namespace scenetest;

namespace {

// Lighting that passes the tracked colour through unchanged: colour material on, global
// ambient 1, no light. The mesh pixels then show exactly the deviation colours.
void passThroughLighting() {
  const GLfloat one[] = {1, 1, 1, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, one);
  glDisable(GL_LIGHT0);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
}

void pixelFrame() {
  beginFrame();
  windowOrtho();
  passThroughLighting();
}

struct Fixture : ::testing::Test {
  ViewState view;
  void SetUp() override {
    context();
    view.distance = 10; // small pixel size: no thinning unless a test asks for it
  }
  std::unique_ptr<GLPointCloud> cloud(std::unique_ptr<SessionModel> m) {
    auto c = std::make_unique<GLPointCloud>(&view, std::move(m));
    c->upperTolerance = 0.25;
    c->lowerTolerance = -0.25;
    return c;
  }
};

int differingPixels(const Pixels &a, const Pixels &b) {
  int n = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const auto p = a.at(x, y), q = b.at(x, y);
      for (int c = 0; c < 3; ++c)
        if (std::abs(p[c] - q[c]) > 1) {
          ++n;
          break;
        }
    }
  return n;
}

} // namespace

using PointCloud = Fixture;

TEST_F(PointCloud, TrianglesTakeTheBandColoursOfTheirDeviations) {
  auto c = cloud(squaresModel({{100, 100, 50, -0.24f},
                               {200, 100, 50, 0.0f},
                               {300, 100, 50, 0.24f},
                               {400, 100, 50, 0.3f},
                               {500, 100, 50, -0.3f}}));
  c->displayMode = 4;
  pixelFrame();
  c->draw(&view, 0);
  const Pixels f = grab();
  f.savePng(VELMORA_BINARY_DIR "/cloud_triangles.png");
  EXPECT_TRUE(near(f.at(125, 125), 0, 0, 1)); // first inner band: blue
  EXPECT_TRUE(near(f.at(225, 125), 0, 1, 0)); // middle band: green
  EXPECT_TRUE(near(f.at(325, 125), 1, 0, 0)); // last inner band: red
  EXPECT_TRUE(near(f.at(425, 125), 1, 1, 1)); // above the tolerance: white
  EXPECT_TRUE(near(f.at(525, 125), 1, 1, 1)); // below: white
  EXPECT_TRUE(f.isBackground(175, 125));      // between squares
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));      // the node leaves lighting on

  // Extended colours mark the out-of-range squares; gradient blends inside the band.
  c->extendedColours = true;
  c->invalidate();
  pixelFrame();
  c->draw(&view, 0);
  Pixels g = grab();
  EXPECT_TRUE(near(g.at(425, 125), 0.6, 0, 0.3));
  EXPECT_TRUE(near(g.at(525, 125), 0.4, 0, 0.8));

  auto grad = cloud(squaresModel({{100, 300, 40, 0.125f},
                                  {200, 300, 40, 0.0625f},
                                  {300, 300, 40, 0.0f},
                                  {400, 300, 40, -0.25f}}));
  grad->displayMode = 4;
  grad->showGradient = true;
  pixelFrame();
  grad->draw(&view, 0);
  g = grab();
  EXPECT_TRUE(near(g.at(120, 320), 1, 1, 0));
  EXPECT_TRUE(near(g.at(220, 320), 0.5, 1, 0));
  EXPECT_TRUE(near(g.at(320, 320), 0, 1, 0));
  EXPECT_TRUE(near(g.at(420, 320), 0, 0, 1));
}

TEST_F(PointCloud, MeshIsCompiledOnceAndRecompiledOnlyAfterInvalidate) {
  auto c = cloud(squaresModel({{100, 100, 50, 0.3f}}));
  c->displayMode = 4;
  pixelFrame();
  c->draw(&view, 0);
  const int first = c->triangleList;
  ASSERT_NE(first, 0);
  EXPECT_TRUE(glIsList(GLuint(first)));
  EXPECT_TRUE(near(grab().at(125, 125), 1, 1, 1)); // shown by the compiling draw itself

  pixelFrame();
  c->draw(&view, 0);
  EXPECT_EQ(c->triangleList, first); // replayed, not rebuilt
  EXPECT_TRUE(near(grab().at(125, 125), 1, 1, 1));

  // A wider band without invalidate keeps the old colours...
  c->upperTolerance = 0.5;
  pixelFrame();
  c->draw(&view, 0);
  EXPECT_TRUE(near(grab().at(125, 125), 1, 1, 1));
  EXPECT_EQ(c->triangleList, first);

  // ...and after it the mesh is rebuilt in the new ones.
  c->invalidate();
  EXPECT_EQ(c->triangleList, 0);
  EXPECT_FALSE(glIsList(GLuint(first)));
  pixelFrame();
  c->draw(&view, 0);
  EXPECT_NE(c->triangleList, 0);
  EXPECT_FALSE(near(grab().at(125, 125), 1, 1, 1));

  // The destructor releases the list.
  const GLuint last = GLuint(c->triangleList);
  c.reset();
  EXPECT_FALSE(glIsList(last));
}

TEST_F(PointCloud, BadNormalIndicesAndMissingArraysAreNotRead) {
  auto m = squaresModel({{100, 100, 50, 0.0f}, {200, 100, 50, 0.0f}});
  m->triangles[0].normalIndex = 1000000; // beyond the triangle normals
  m->triangles[1].normalIndex = -5;
  m->triangles[2].c = 999999; // a corner outside the points: triangle skipped
  auto c = cloud(std::move(m));
  c->displayMode = 4;
  c->vertexNormals = false;
  pixelFrame();
  c->draw(&view, 0);
  Pixels f = grab();
  EXPECT_TRUE(near(f.at(110, 130), 0, 1, 0)); // guarded triangles still drawn
  EXPECT_TRUE(near(f.at(210, 140), 0, 1, 0)); // square 2, upper triangle
  EXPECT_TRUE(f.isBackground(240, 110));      // its skipped lower triangle

  // A point text model: no normals, no triangle normals, no deviations.
  auto bare = std::make_unique<SessionModel>();
  bare->pointCount = 3;
  bare->points.allocate(3);
  bare->points[0] = {100.5f, 400.5f, 0};
  bare->points[1] = {110.5f, 400.5f, 0};
  bare->points[2] = {120.5f, 400.5f, 0};
  auto p = cloud(std::move(bare));
  p->setColour(1, 0.5, 0);
  p->magnification = 1; // no partner array: no displacement
  p->vertexNormals = false;
  pixelFrame();
  p->draw(&view, 0);
  EXPECT_TRUE(p->vertexNormals); // no triangle normals: per-vertex normals
  f = grab();
  EXPECT_TRUE(near(f.at(110, 400), 1, 0.5, 0));
  EXPECT_EQ(p->lastPointsDrawn(), 3u);
  EXPECT_EQ(p->lastNeedlesDrawn(), 0u);
}

TEST_F(PointCloud, StrideThinsLargeModelsOnly) {
  EXPECT_EQ(GLPointCloud::strideFor(100000, 5.0, false), 1);
  EXPECT_EQ(GLPointCloud::strideFor(100000, 5.0, true), 1);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.37, false), 3);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.05, false), 1);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.05, true), 10);
  EXPECT_GE(GLPointCloud::strideFor(100001, 1e300, false), 1);

  auto c = cloud(rasterModel(100001, 0.0f));
  view.distance = 350; // 10 x 350 / 1081.67 = 3.24: every third point
  for (auto path : {GLPointCloud::PointPath::Arrays, GLPointCloud::PointPath::ClientArrays,
                    GLPointCloud::PointPath::Immediate}) {
    c->pointPath = path;
    pixelFrame();
    c->draw(&view, 0);
    EXPECT_EQ(c->lastStride(), 3);
    EXPECT_EQ(c->lastPointsDrawn(), 33334u);
    const Pixels f = grab();
    EXPECT_TRUE(near(f.at(0, 0), 0, 1, 0));
    EXPECT_TRUE(f.isBackground(1, 0));
    EXPECT_TRUE(f.isBackground(2, 0));
    EXPECT_TRUE(near(f.at(3, 0), 0, 1, 0));
    EXPECT_TRUE(near(f.at(897, 110), 0, 1, 0));
    EXPECT_EQ(f.countLit(0, 0, 900, 600), 33334);
  }
  view.interacting = true;
  pixelFrame();
  c->draw(&view, 0);
  EXPECT_EQ(c->lastStride(), 10);
  EXPECT_EQ(grab().countLit(0, 0, 900, 600), 10001);

  // The same points below the threshold are all drawn.
  auto small = cloud(rasterModel(100000, 0.0f));
  pixelFrame();
  small->draw(&view, 0);
  EXPECT_EQ(small->lastStride(), 1);
  EXPECT_EQ(grab().countLit(0, 0, 900, 600), 100000);
}

TEST_F(PointCloud, FilterShowsOnlyPointsOutsideTheToleranceWithTheirNeedles) {
  // Points 40 px apart; nominal points 20 px below each.
  std::vector<Vec3f> pts;
  const std::vector<float> dev = {0.3f, 0.25f, -0.3f, 0.1f};
  for (int i = 0; i < 4; ++i)
    pts.push_back({100.5f + 40 * i, 300.5f, 0});
  auto m = pointModel(pts, dev);
  m->nominalPoints.allocate(4);
  for (int i = 0; i < 4; ++i)
    m->nominalPoints[i] = {pts[i].x, pts[i].y - 20, 0};
  auto c = cloud(std::move(m));
  c->displayMode = 4;
  c->pointFilter = 2;
  c->width = 1;
  c->magnification = 1;
  for (auto path : {GLPointCloud::PointPath::Arrays, GLPointCloud::PointPath::ClientArrays,
                    GLPointCloud::PointPath::Immediate}) {
    c->pointPath = path;
    pixelFrame();
    c->draw(&view, 0);
    EXPECT_EQ(c->displayMode, 1); // the filter switches the node to points for good
    EXPECT_EQ(c->lastPointsDrawn(), 2u);
    EXPECT_EQ(c->lastNeedlesDrawn(), 2u);
    const Pixels f = grab();
    f.savePng(VELMORA_BINARY_DIR "/cloud_needles.png");
    // Magnified point at P + (P - S) = 320.5; the needle runs down to S at 280.5, in the
    // outside layout's colours: red above, blue below.
    EXPECT_TRUE(near(f.at(100, 320), 1, 0, 0));
    EXPECT_TRUE(near(f.at(100, 300), 1, 0, 0));
    EXPECT_TRUE(near(f.at(100, 281), 1, 0, 0));
    EXPECT_TRUE(f.isBackground(100, 330));
    EXPECT_TRUE(near(f.at(180, 320), 0, 0, 1));
    EXPECT_TRUE(near(f.at(180, 290), 0, 0, 1));
    // A deviation equal to the tolerance shows neither point nor needle; nor does 0.1.
    EXPECT_EQ(f.countLit(135, 270, 145, 330), 0);
    EXPECT_EQ(f.countLit(215, 270, 225, 330), 0);
  }
}

TEST_F(PointCloud, UncolouredAndSelectedPointsUseTheNodeColour) {
  auto m = pointModel({{100.5f, 100.5f, 0}, {120.5f, 100.5f, 0}}, {0.3f, 0.0f});
  m->deviationMode = 0;
  auto c = cloud(std::move(m));
  c->setColour(1, 0.5, 0);
  c->pointFilter = 2; // without deviations every point passes
  pixelFrame();
  c->draw(&view, 0);
  Pixels f = grab();
  EXPECT_EQ(c->lastPointsDrawn(), 2u);
  EXPECT_EQ(c->lastNeedlesDrawn(), 0u);
  EXPECT_TRUE(near(f.at(100, 100), 1, 0.5, 0));
  EXPECT_TRUE(near(f.at(120, 100), 1, 0.5, 0));

  auto s = cloud(pointModel({{100.5f, 200.5f, 0}}, {0.0f}));
  s->setColour(0, 0, 1);
  pixelFrame();
  s->draw(&view, 0);
  EXPECT_TRUE(near(grab().at(100, 200), 0, 1, 0));
  s->setSelected(true);
  pixelFrame();
  s->draw(&view, 0);
  EXPECT_TRUE(near(grab().at(100, 200), 0, 0, 1));

  s->visible = false;
  pixelFrame();
  s->draw(&view, 0);
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);
}

TEST_F(PointCloud, ArraysPathDrawsTheSamePixelsAsThePointByPointPath) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> ux(5, 895), uy(5, 595), ud(-0.4f, 0.4f);
  std::vector<Vec3f> pts;
  std::vector<float> dev;
  for (int i = 0; i < 20000; ++i) {
    pts.push_back({ux(rng), uy(rng), 0});
    dev.push_back(ud(rng));
  }
  auto c = cloud(pointModel(pts, dev));
  c->width = 2;
  struct Setting {
    bool gradient, extended;
    int filter, bands;
  };
  for (const Setting s : {Setting{false, false, 0, 15}, Setting{true, true, 0, 15},
                          Setting{false, false, 2, 7}, Setting{true, false, 2, 15}}) {
    c->showGradient = s.gradient;
    c->extendedColours = s.extended;
    c->pointFilter = s.filter;
    c->bandCount = s.bands;
    c->pointPath = GLPointCloud::PointPath::Immediate;
    pixelFrame();
    c->draw(&view, 0);
    const Pixels slow = grab();
    EXPECT_GT(slow.countLit(0, 0, kWidth, kHeight), 1000);
    for (auto path : {GLPointCloud::PointPath::Arrays, GLPointCloud::PointPath::ClientArrays}) {
      c->pointPath = path;
      for (int frame = 0; frame < 2; ++frame) { // building the arrays, then reusing them
        pixelFrame();
        c->draw(&view, 0);
        EXPECT_EQ(differingPixels(slow, grab()), 0)
            << s.gradient << s.extended << s.filter << int(path) << frame;
      }
    }
  }
}

TEST_F(PointCloud, PointArraysAreRebuiltOnlyWhenASettingChanges) {
  auto c = cloud(pointModel({{100.5f, 100.5f, 0}, {200.5f, 100.5f, 0}}, {0.0f, 0.3f}));
  pixelFrame();
  c->draw(&view, 0);
  c->draw(&view, 0);
  EXPECT_EQ(c->pointArrayBuilds(), 1);
  c->bandCount = 9;
  c->draw(&view, 0);
  EXPECT_EQ(c->pointArrayBuilds(), 2);
  c->setSelected(true);
  c->draw(&view, 0);
  EXPECT_EQ(c->pointArrayBuilds(), 3);
  // Moving the model moves the drawn points.
  Placement shift;
  shift.setTranslation({0, 100, 0});
  c->transformModel(shift);
  c->setSelected(false);
  pixelFrame();
  c->draw(&view, 0);
  const Pixels f = grab();
  EXPECT_TRUE(f.isBackground(100, 100));
  EXPECT_TRUE(near(f.at(100, 200), 0, 1, 0));
}

TEST_F(PointCloud, MeshVerticesAreMagnifiedFromTheNominalPoints) {
  auto m = squaresModel({{100, 100, 50, 0.0f}});
  m->nominalPoints.allocate(4);
  for (int i = 0; i < 4; ++i) // nominal square 10 px lower
    m->nominalPoints[i] = {m->points[i].x, m->points[i].y - 10, 0};
  auto c = cloud(std::move(m));
  c->displayMode = 4;
  c->magnification = 3; // vertices at S + 3 (P - S): 20 px above the measured square
  pixelFrame();
  c->draw(&view, 0);
  const Pixels f = grab();
  EXPECT_TRUE(f.isBackground(125, 110));
  EXPECT_TRUE(near(f.at(125, 165), 0, 1, 0));
  EXPECT_TRUE(f.isBackground(125, 175));
}

TEST_F(PointCloud, WithoutNominalPointsNeedlesRunBackAlongTheNormalByTheDeviation) {
  // The anchor is the point moved back along its unit normal by its deviation, never the
  // normal vector itself taken as a position (which would pull needles to the origin).
  auto m = pointModel({{100.5f, 300.5f, 0}, {160.5f, 300.5f, 0}}, {20.0f, -20.0f});
  m->normals.allocate(2);
  m->normals[0] = {0, 1, 0};
  m->normals[1] = {0, 1, 0};
  auto c = cloud(std::move(m));
  c->upperTolerance = 30;
  c->lowerTolerance = -30;
  c->displayMode = 1;
  c->width = 1;
  c->magnification = 1;
  for (auto path : {GLPointCloud::PointPath::Arrays, GLPointCloud::PointPath::Immediate}) {
    c->pointPath = path;
    c->invalidate();
    pixelFrame();
    c->draw(&view, 0);
    const Pixels f = grab();
    EXPECT_EQ(c->lastNeedlesDrawn(), 2u);
    // First point: anchor at y 280.5, drawn at P + (P - S) = 320.5, needle between.
    EXPECT_FALSE(f.isBackground(100, 320));
    EXPECT_FALSE(f.isBackground(100, 290));
    EXPECT_TRUE(f.isBackground(100, 330));
    // Second point (negative deviation): anchor above at 320.5, drawn below at 280.5.
    EXPECT_FALSE(f.isBackground(160, 281));
    EXPECT_TRUE(f.isBackground(160, 270));
    EXPECT_EQ(f.countLit(0, 0, 40, 40), 0);
  }
}
