// Point cloud drawing, checked on real pixels: deviation colours of the mesh, the display
// list's life, the points pass with stride, filter and needles, and the arrays path against
// the point-by-point path.
#include "analysis/ColourScale.h"
#include "scene/GLPointCloud.h"
#include "scene/ViewState.h"
#include "support/SceneModels.h"
#include "support/SceneTestEnv.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
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
    c->display.upperTolerance = 0.25;
    c->display.lowerTolerance = -0.25;
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
  c->display.displayMode = DisplayMode::Triangles;
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
  c->display.extendedColours = true;
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
  grad->display.displayMode = DisplayMode::Triangles;
  grad->display.gradient = true;
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
  c->display.displayMode = DisplayMode::Triangles;
  c->meshPath = GLPointCloud::MeshPath::Arrays;
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
  c->display.upperTolerance = 0.5;
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

TEST_F(PointCloud, MeshBuffersUploadOnceAndOnlyTheColoursAfterAColourChange) {
  auto c = cloud(squaresModel({{100, 100, 50, 0.3f}}));
  c->display.displayMode = DisplayMode::Triangles;
  for (int frame = 0; frame < 2; ++frame) {
    pixelFrame();
    c->draw(&view, 0);
    EXPECT_TRUE(near(grab().at(125, 125), 1, 1, 1));
  }
  EXPECT_EQ(c->triangleList, 0);
  const int uploads = c->meshUploads();
  EXPECT_GT(uploads, 0);
  // Camera, display mode and other non-colour changes upload nothing.
  view.distance = 20;
  c->invalidate();
  c->draw(&view, 0);
  EXPECT_EQ(c->meshUploads(), uploads);
  // A colour setting without invalidate keeps the old colours; with it only they change.
  c->display.upperTolerance = 0.5;
  pixelFrame();
  c->draw(&view, 0);
  EXPECT_TRUE(near(grab().at(125, 125), 1, 1, 1));
  c->invalidate();
  pixelFrame();
  c->draw(&view, 0);
  EXPECT_FALSE(near(grab().at(125, 125), 1, 1, 1));
  EXPECT_EQ(c->meshUploads(), uploads + 1);
}

TEST_F(PointCloud, BadNormalIndicesAndMissingArraysAreNotRead) {
  auto m = squaresModel({{100, 100, 50, 0.0f}, {200, 100, 50, 0.0f}});
  m->storeNormalIndices();
  m->triangleNormalIndices[0] = 1000000; // beyond the triangle normals
  m->triangleNormalIndices[1] = -5;
  m->triangles[2].c = 999999; // a corner outside the points: triangle skipped
  auto c = cloud(std::move(m));
  c->display.displayMode = DisplayMode::Triangles;
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
  p->display.magnification = 1; // no partner array: no displacement
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
  EXPECT_EQ(GLPointCloud::strideFor(100000, 5.0, true, 900, 50), 1);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.37, false), 3);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.05, false), 1);
  // Dragging thins so that the points take half the budget, and only when it was missed.
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.05, true, 40, 50), 1);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.05, true, 160, 50), 7);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.37, true, 60, 50), 8);
  EXPECT_GE(GLPointCloud::strideFor(100001, 1e300, false), 1);
  EXPECT_EQ(GLPointCloud::strideFor(100001, 0.05, true, 1e300, 50), 100001);

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
  view.lastFullFrameMs = 500; // ten times the budget: every 60th point
  pixelFrame();
  c->draw(&view, 0);
  EXPECT_EQ(c->lastStride(), 60);
  EXPECT_TRUE(c->lastDrawDecimated());
  EXPECT_EQ(grab().countLit(0, 0, 900, 600), 1667);

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
  c->display.displayMode = DisplayMode::Triangles;
  c->display.pointFilter = PointFilter::OutsideOnly;
  c->display.pointSize = PointSize::S;
  c->display.magnification = 1;
  for (auto path : {GLPointCloud::PointPath::Arrays, GLPointCloud::PointPath::ClientArrays,
                    GLPointCloud::PointPath::Immediate}) {
    c->pointPath = path;
    pixelFrame();
    c->draw(&view, 0);
    EXPECT_EQ(code(c->display.displayMode), 1); // the filter switches the node to points for good
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

TEST_F(PointCloud, NeedlesShorterThanAPixelAreLeftOutByEveryPath) {
  const std::vector<Vec3f> pts = {{100.5f, 300.5f, 0}, {140.5f, 300.5f, 0}};
  view.distance = 400;
  const double t = cloud(pointModel(pts, {0.3f, 0.3f}))->shortestShownNeedle(&view);
  ASSERT_GT(t, 0);
  for (auto path : {GLPointCloud::PointPath::Arrays, GLPointCloud::PointPath::ClientArrays,
                    GLPointCloud::PointPath::Immediate}) {
    auto m = pointModel(pts, {0.3f, 0.3f});
    // A needle runs from P + (P - S) to S, twice the offset: 2 t is drawn, 0.4 t is not.
    m->nominalPoints.allocate(2);
    m->nominalPoints[0] = {pts[0].x, pts[0].y - float(t), 0};
    m->nominalPoints[1] = {pts[1].x, pts[1].y - float(0.2 * t), 0};
    auto c = cloud(std::move(m));
    c->display.magnification = 1;
    c->pointPath = path;
    pixelFrame();
    c->draw(&view, 0);
    EXPECT_EQ(c->lastPointsDrawn(), 2u);
    EXPECT_EQ(c->lastNeedlesDrawn(), 1u);
    // Close up, the short one shows too.
    view.distance = 10;
    c->draw(&view, 0);
    EXPECT_EQ(c->lastNeedlesDrawn(), 2u);
    view.distance = 400;
  }
}

TEST_F(PointCloud, UncolouredAndSelectedPointsUseTheNodeColour) {
  auto m = pointModel({{100.5f, 100.5f, 0}, {120.5f, 100.5f, 0}}, {0.3f, 0.0f});
  m->deviationMode = 0;
  auto c = cloud(std::move(m));
  c->setColour(1, 0.5, 0);
  c->display.pointFilter = PointFilter::OutsideOnly; // without deviations every point passes
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
  // More points than the thinning threshold; nominal points a few pixels away so that the
  // needles of a magnified display show.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> ux(5, 895), uy(5, 595), ud(-0.4f, 0.4f), off(-4, 4);
  std::vector<Vec3f> pts;
  std::vector<float> dev;
  for (int i = 0; i < 120000; ++i) {
    pts.push_back({ux(rng), uy(rng), 0});
    dev.push_back(ud(rng));
  }
  auto model = pointModel(pts, dev);
  model->nominalPoints.allocate(pts.size());
  for (std::size_t i = 0; i < pts.size(); ++i)
    model->nominalPoints[i] = {pts[i].x + off(rng), pts[i].y + off(rng), 0};
  auto c = cloud(std::move(model));
  c->display.pointSize = PointSize::M;
  c->uploadChunk = 7001; // blocks that do not start on a multiple of the stride
  struct Setting {
    bool gradient, extended;
    int filter, bands;
    float magnification;
    double distance; // 10: every point; 350: every third
  };
  for (const Setting s :
       {Setting{false, false, 0, 15, 0, 10}, Setting{true, true, 0, 15, 0, 350},
        Setting{false, false, 2, 7, 0, 10}, Setting{true, false, 2, 15, 0, 350},
        Setting{false, false, 0, 15, 0.5f, 10}, Setting{false, true, 0, 15, 1, 350},
        Setting{true, false, 2, 15, 1, 350}}) {
    c->display.gradient = s.gradient;
    c->display.extendedColours = s.extended;
    c->display.pointFilter = static_cast<PointFilter>(s.filter);
    c->display.colourBars = s.bands;
    c->display.magnification = s.magnification;
    view.distance = s.distance;
    c->pointPath = GLPointCloud::PointPath::Immediate;
    c->bufferObjectsAllowed = true;
    pixelFrame();
    c->draw(&view, 0);
    const Pixels slow = grab();
    EXPECT_GT(slow.countLit(0, 0, kWidth, kHeight), 1000);
    // Buffer objects, client arrays, a context without buffer objects, the driver's choice.
    for (int path = 0; path < 4; ++path) {
      c->pointPath =
          path == 1 ? GLPointCloud::PointPath::ClientArrays : GLPointCloud::PointPath::Arrays;
      c->bufferObjectsAllowed = path != 2;
      c->arrayHome =
          path == 0 ? GLPointCloud::ArrayHome::BufferObjects : GLPointCloud::ArrayHome::Auto;
      for (int frame = 0; frame < 2; ++frame) { // building the arrays, then reusing them
        pixelFrame();
        c->draw(&view, 0);
        EXPECT_EQ(differingPixels(slow, grab()), 0)
            << s.gradient << s.extended << s.filter << s.magnification << " path " << path
            << " frame " << frame;
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
  c->display.colourBars = 9;
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
  c->display.displayMode = DisplayMode::Triangles;
  c->display.magnification = 3; // vertices at S + 3 (P - S): 20 px above the measured square
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
  c->display.upperTolerance = 30;
  c->display.lowerTolerance = -30;
  c->display.displayMode = DisplayMode::Points;
  c->display.pointSize = PointSize::S;
  c->display.magnification = 1;
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

namespace {

// A jittered grid mesh over the window with random depths, normals and deviations, the
// triangles in shuffled order (overlaps make the order visible) or row by row, nominal points a few
// pixels away, and triangles with out-of-range corners mixed in (the last record is one).
std::unique_ptr<SessionModel> randomMesh(unsigned seed, bool shuffled = true) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> jitter(-6, 6), depth(-0.9f, 0.9f), dev(-0.4f, 0.4f),
      unit(-1, 1);
  const int cols = 46, rows = 31;
  auto m = std::make_unique<SessionModel>();
  const std::size_t n = std::size_t(cols * rows);
  m->pointCount = std::int32_t(n);
  m->points.allocate(n);
  m->normals.allocate(n);
  m->deviations.allocate(n);
  m->nominalPoints.allocate(n);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const std::size_t i = std::size_t(r * cols + c);
      m->points[i] = {20.0f * c + 10 + jitter(rng), 20.0f * r + 10 + jitter(rng), depth(rng)};
      Vec3f nv{unit(rng), unit(rng), 1.5f};
      const float len = std::sqrt(nv.x * nv.x + nv.y * nv.y + nv.z * nv.z);
      m->normals[i] = {nv.x / len, nv.y / len, nv.z / len};
      m->deviations[i] = dev(rng);
      m->nominalPoints[i] = {m->points[i].x + jitter(rng) / 3, m->points[i].y + jitter(rng) / 3,
                             m->points[i].z};
    }
  std::vector<Triangle> tris;
  for (int r = 0; r + 1 < rows; ++r)
    for (int c = 0; c + 1 < cols; ++c) {
      const std::int32_t a = r * cols + c, b = a + 1, d = a + cols, e = d + 1;
      tris.push_back({a, b, e});
      tris.push_back({a, e, d});
      // Some larger triangles across the grid overlap the others.
      if ((r * cols + c) % 9 == 0 && r + 3 < rows && c + 3 < cols)
        tris.push_back({a, a + 3, a + 3 * cols + 1});
    }
  if (shuffled)
    std::shuffle(tris.begin(), tris.end(), rng);
  const std::int32_t bad = std::int32_t(n);
  for (std::size_t k = 5; k < tris.size(); k += 97)
    tris[k] = {k % 2 ? -1 : bad, 3, 4};
  tris.push_back({0, bad, 1});
  m->triangleCount = std::int32_t(tris.size());
  m->triangles.allocate(tris.size());
  for (std::size_t k = 0; k < tris.size(); ++k)
    m->triangles[k] = tris[k];
  m->deviationMode = 3;
  return m;
}

// One directional light with some ambient: normals as well as colours shape the pixels.
// Without the depth test the outline strips show on top of their triangles.
void litFrame(bool depth = true) {
  beginFrame();
  windowOrtho();
  const GLfloat ambient[] = {0.25f, 0.25f, 0.25f, 1}, diffuse[] = {0.8f, 0.8f, 0.8f, 1},
                dir[] = {0.3f, -0.4f, 1, 0};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, dir);
  glEnable(GL_LIGHT0);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  if (depth)
    glEnable(GL_DEPTH_TEST);
}

bool samePixels(const Pixels &a, const Pixels &b) {
  return a.width == b.width && a.height == b.height && a.rgba == b.rgba;
}

std::array<float, 3> currentColour() {
  GLfloat c[4];
  glGetFloatv(GL_CURRENT_COLOR, c);
  return {c[0], c[1], c[2]};
}

std::array<float, 3> currentNormal() {
  GLfloat n[3];
  glGetFloatv(GL_CURRENT_NORMAL, n);
  return {n[0], n[1], n[2]};
}

} // namespace

TEST_F(PointCloud, EveryMeshPathDrawsTheSamePixelsAsCornerByCorner) {
  struct Setting {
    bool gradient, extended;
    float magnification;
    bool outline, deviations, flat;
    int layout; // the filter value, which is also the colour scale's layout
    std::size_t chunk;
    bool ordered; // row by row: runs of triangles keep their vertices close
  };
  const Setting settings[] = {
      {false, false, 0, false, true, false, 0, 1000000, false},
      {true, false, 0, false, true, false, 0, 7, false},
      {true, true, 0, true, true, false, 0, 1000000, false},
      {false, true, 3, false, true, false, 0, 100, false},
      {true, false, 2, true, true, false, 0, 50, false},
      {false, false, 0, true, false, false, 0, 1000, false},
      {false, false, 0, false, true, false, 1, 300, false},
      {false, true, 1, false, true, true, 0, 64, false},
      {true, false, 0, false, false, true, 0, 1000, false},
      {false, false, 2, false, true, false, 0, 150, true},
      {true, true, 0, false, false, false, 1, 1000000, true},
  };
  unsigned seed = 11;
  for (const Setting &s : settings) {
    auto model = randomMesh(seed++, !s.ordered);
    if (!s.deviations)
      model->deviationMode = 0;
    if (s.flat) {
      std::mt19937 rng(seed);
      std::uniform_real_distribution<float> unit(-1, 1);
      const std::size_t t = std::size_t(model->triangleCount);
      model->triangleNormals.allocate(t);
      model->storeNormalIndices();
      for (std::size_t k = 0; k < t; ++k) {
        model->triangleNormals[k] = normalised(Vec3f{unit(rng), unit(rng), 1.5f});
        model->triangleNormalIndices[k] = k % 13 == 0 ? -1 : std::int32_t(k);
      }
    }
    // The corner whose colour and normal the draw leaves current: the last corner of the
    // last triangle drawn (the final record has a bad corner and is skipped).
    const std::size_t lastTri = std::size_t(model->triangleCount) - 2;
    const TriangleRecord lastRecord = model->recordOf(lastTri);
    auto c = cloud(std::move(model));
    c->display.displayMode = DisplayMode::Triangles;
    c->vertexNormals = !s.flat;
    c->display.pointFilter = static_cast<PointFilter>(s.layout);
    c->display.gradient = s.gradient;
    c->display.extendedColours = s.extended;
    c->display.magnification = s.magnification;
    c->outline = s.outline;
    c->uploadChunk = s.chunk;
    c->setColour(0.6, 0.3, 0.9);
    const std::string what = "setting " + std::to_string(seed - 12);

    auto expectState = [&](const std::string &when) {
      const ColourScale scale(0.25f, -0.25f, c->display.colourBars, s.layout, c->display.gradient,
                              c->display.extendedColours);
      const SessionModel &m = *c->model();
      // Deviation colours are drawn as bytes; the node colour as set.
      const auto q = [&](double v) {
        return s.deviations ? byteColourValue(colourByte(v)) : float(v);
      };
      const Colour dc = s.deviations ? scale.colourFor(m.deviations[std::size_t(lastRecord.c)])
                                     : Colour{0.6, 0.3, 0.9};
      const Colour lc{q(dc.r), q(dc.g), q(dc.b)};
      const Vec3f ln = s.flat ? m.triangleNormals[std::size_t(lastRecord.normalIndex)]
                              : m.normals[std::size_t(lastRecord.c)];
      EXPECT_EQ(currentColour(), (std::array<float, 3>{float(lc.r), float(lc.g), float(lc.b)}))
          << when;
      EXPECT_EQ(currentNormal(), (std::array<float, 3>{ln.x, ln.y, ln.z})) << when;
    };
    // Colours before and after a colour change: every path must follow it.
    for (int change = 0; change < 2; ++change) {
      if (change == 1) {
        c->display.gradient = !c->display.gradient;
        c->display.extendedColours = !c->display.extendedColours;
      }
      c->meshPath = GLPointCloud::MeshPath::Immediate;
      c->invalidate();
      litFrame(!s.outline);
      c->draw(&view, 0);
      const Pixels reference = grab();
      EXPECT_GT(reference.countLit(0, 0, kWidth, kHeight), 200000) << what;
      expectState(what + " corner by corner");

      // Display list from arrays, the driver's choice (the model's arrays in client memory
      // on a software rasterizer), buffer objects refused by the context, buffer objects.
      for (int path = 0; path < 4; ++path) {
        c->meshPath = path == 0 ? GLPointCloud::MeshPath::Arrays : GLPointCloud::MeshPath::Buffers;
        c->bufferObjectsAllowed = path != 2;
        c->arrayHome =
            path == 3 ? GLPointCloud::ArrayHome::BufferObjects : GLPointCloud::ArrayHome::Auto;
        c->invalidate();
        for (int frame = 0; frame < 2; ++frame) { // upload or compile, then replay
          litFrame(!s.outline);
          glColor3d(0.1, 0.1, 0.1);
          glNormal3f(1, 0, 0);
          c->draw(&view, 0);
          const Pixels f = grab();
          const std::string where = what + " change " + std::to_string(change) + " path " +
                                    std::to_string(path) + " frame " + std::to_string(frame);
          if (!samePixels(reference, f)) {
            reference.savePng(VELMORA_BINARY_DIR "/cloud_mesh_reference.png");
            f.savePng(VELMORA_BINARY_DIR "/cloud_mesh_other.png");
          }
          EXPECT_TRUE(samePixels(reference, f))
              << where << ": " << differingPixels(reference, f) << " differ";
          expectState(where);
          // Only an outlined mesh or a context without buffer objects takes a display list.
          EXPECT_EQ(c->triangleList != 0, path == 0 || path == 2 || s.outline) << where;
        }
      }
      c->bufferObjectsAllowed = true;
      c->arrayHome = GLPointCloud::ArrayHome::Auto;
    }
  }
}

TEST_F(PointCloud, MeshDrawLeavesClientStateAndBuffersAsFound) {
  // A mesh whose triangles are all skipped draws nothing and leaves colour and normal alone;
  // neither the list compile nor the buffers may leave client arrays on or a buffer unbound.
  for (auto path : {GLPointCloud::MeshPath::Arrays, GLPointCloud::MeshPath::Buffers}) {
    auto m = randomMesh(3);
    for (std::size_t k = 0; k < std::size_t(m->triangleCount); ++k)
      m->triangles[k].b = -1;
    auto c = cloud(std::move(m));
    c->display.displayMode = DisplayMode::Triangles;
    c->meshPath = path;
    c->uploadChunk = 64;
    litFrame();
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glColor3d(0.5, 0.25, 0.75);
    glNormal3f(0, 1, 0);
    c->draw(&view, 0);
    EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);
    EXPECT_EQ(c->triangleList != 0, path == GLPointCloud::MeshPath::Arrays);
    // The node colour is the last colour set, as corner by corner.
    c->setColour(0.5, 0.25, 1);
    c->invalidate();
    c->draw(&view, 0);
    EXPECT_EQ(currentColour(), (std::array<float, 3>{0.5f, 0.25f, 1}));
    EXPECT_EQ(currentNormal(), (std::array<float, 3>{0, 1, 0}));
    GLint bound = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(GLuint(bound), buffer);
    for (GLenum a : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY})
      EXPECT_FALSE(glIsEnabled(a)) << a;
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
  }
}

TEST_F(PointCloud, DraggingDrawsTheCoarseMeshWithItsSpotsAndReleaseDrawsTheStillFrame) {
  // Green everywhere but one vertex far above the tolerance (purple with extended colours).
  auto m = gridModel(180, 120, 5, 0.0f);
  const std::size_t spot = 60 * 180 + 90; // at (452.5, 302.5)
  m->deviations[spot] = 0.6f;
  auto c = cloud(std::move(m));
  c->display.displayMode = DisplayMode::Triangles;
  c->display.extendedColours = true;
  c->draw(&view, 0); // uploads: not a frame that measures the model
  EXPECT_FALSE(c->lastDrawFull());
  pixelFrame();
  c->draw(&view, 0);
  const Pixels still = grab();
  EXPECT_TRUE(c->lastDrawFull());
  auto spotPixels = [](const Pixels &f) { // pixels that lost the green of the field
    int n = 0;
    for (int y = 280; y < 325; ++y)
      for (int x = 430; x < 475; ++x)
        n += f.at(x, y)[1] < 128 ? 1 : 0;
    return n;
  };
  ASSERT_GT(spotPixels(still), 0);

  // Full frames ten times over the budget: a coarse mesh of about 1/20 is built, in a window.
  view.lastFullFrameMs = 10 * view.frameBudgetMs;
  c->afterFullFrame(view);
  EXPECT_EQ(c->decimatedTriangles(), 0u);
  view.liveWindow = true;
  c->afterFullFrame(view);
  c->waitForDecimatedMesh();
  view.interacting = true;
  pixelFrame();
  c->draw(&view, 0);
  const Pixels dragged = grab();
  EXPECT_TRUE(c->lastDrawDecimated());
  EXPECT_FALSE(c->lastDrawFull());
  EXPECT_GT(c->decimatedTriangles(), 100u);
  EXPECT_LT(c->decimatedTriangles(), 42782u / 10);
  EXPECT_FALSE(samePixels(still, dragged));
  EXPECT_GT(spotPixels(dragged), 0) << "the spot out of tolerance vanished";
  dragged.savePng(VELMORA_BINARY_DIR "/cloud_decimated.png");

  view.interacting = false;
  pixelFrame();
  c->draw(&view, 0);
  EXPECT_TRUE(samePixels(still, grab()));
  EXPECT_TRUE(c->lastDrawFull());
  view.liveWindow = false;
}

TEST_F(PointCloud, LargeUploadsSpreadOverFramesBehindAStandInAndEndInTheFullFrame) {
  for (int mode : {4, 1}) {
    auto reference = cloud(gridModel(180, 120, 5, 0.1f));
    reference->display.displayMode = static_cast<DisplayMode>(mode);
    reference->display.pointSize = PointSize::S;
    pixelFrame();
    reference->draw(&view, 0);
    const Pixels full = grab();

    auto c = cloud(gridModel(180, 120, 5, 0.1f));
    c->display.displayMode = static_cast<DisplayMode>(mode);
    c->display.pointSize = PointSize::S;
    c->progressiveMinElements = 0;
    c->uploadChunk = 2000;
    view.liveWindow = true;
    view.frameBudgetMs = 1e-6; // one chunk per slice
    pixelFrame();
    c->draw(&view, 0);
    EXPECT_TRUE(c->uploadPending()) << mode;
    EXPECT_FALSE(c->lastDrawFull());
    EXPECT_GT(grab().countLit(0, 0, kWidth, kHeight), 1000) << "a stand-in is shown";
    // The window runs slices between frames until the model can be drawn.
    int frames = 0;
    double progress = c->uploadProgress();
    for (; c->continueUploads(view) && frames < 1000; ++frames) {
      EXPECT_GT(c->uploadProgress(), progress);
      progress = c->uploadProgress();
    }
    EXPECT_FALSE(c->uploadPending());
    pixelFrame();
    c->draw(&view, 0);
    EXPECT_GT(frames, 5);
    EXPECT_TRUE(c->lastDrawFull());
    EXPECT_EQ(differingPixels(full, grab()), 0) << mode;
    view.liveWindow = false;
    view.frameBudgetMs = 50;
  }
}
