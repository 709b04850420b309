#include "view/ViewScene.h"

#include "scene/ViewState.h"
#include "view/GLMatrices.h"
#include "view/LabelNode.h"
#include "view/Picking.h"
#include "view/ViewHooks.h"

#include "analysis/DeviationStats.h"
#include "scene/AxesNode.h"
#include "scene/GLPointCloud.h"
#include "scene/LegendNode.h"
#include "scene/ScaleNode.h"
#include "scene/TransparentPlane.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

ViewScene::ViewScene(ViewState &view) : view_(&view) {
  scale_ = std::make_unique<ScaleNode>(&view, 0.2f, 0.2f, 1);
  axes_ = std::make_unique<AxesNode>(&view, Vec3d{0, 0, 0}, Vec3d{1, 0, 0}, Vec3d{0, 1, 0});
  rebuildLegend(view, false);
}

ViewScene::~ViewScene() {
  // Models first: their nodes may use the fonts while releasing.
  clearModels();
  sectionCurves.clear();
  banners.clear();
  distances.clear();
  comments.clear();
}

ScaleNode *ViewScene::scale() const { return static_cast<ScaleNode *>(scale_.get()); }
AxesNode *ViewScene::axes() const { return static_cast<AxesNode *>(axes_.get()); }
TransparentPlane *ViewScene::plane() const { return static_cast<TransparentPlane *>(plane_.get()); }
LegendNode *ViewScene::legend() const { return static_cast<LegendNode *>(legend_.get()); }

void ViewScene::setUpContextState() {
  glEnable(GL_CULL_FACE);
  glShadeModel(GL_SMOOTH);
  const GLfloat ambient[] = {0.3f, 0.3f, 0.3f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  const GLfloat diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
  glDepthFunc(GL_LESS);
  glEnable(GL_DEPTH_TEST);
  glClearColor(0, 0, 0, 0);
}

void ViewScene::setProjection(const ViewState &view) {
  if (view.viewWidth <= 0 || view.viewHeight <= 0)
    return;
  glViewport(0, 0, view.viewWidth, view.viewHeight);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const ViewState::DepthRange depth = view.depthRange();
  gluPerspective(view.fieldOfView, double(view.viewWidth) / double(view.viewHeight),
                 depth.nearPlane, depth.farPlane);
  glMatrixMode(GL_MODELVIEW);
}

void ViewScene::addPointCloud(GLPointCloud *node) {
  models.append(node);
  pointCloud_ = node;
  shares_.valid = false;
}

void ViewScene::clearModels() {
  // Drop the picking index of each model before the model goes, so a closed file's copy of
  // its points is not kept.
  models.forEach([](SceneNode *node) {
    if (auto *cloud = dynamic_cast<GLPointCloud *>(node))
      picking::forgetModel(cloud->model());
  });
  models.clear();
  pointCloud_ = nullptr;
  shares_.valid = false;
}

const SessionModel *ViewScene::shownModel() const {
  return pointCloud_ ? pointCloud_->model() : nullptr;
}

const std::vector<double> &ViewScene::legendShares() {
  const SessionModel *model = shownModel();
  const LegendNode &l = *legend();
  if (!model || model->deviationMode <= 0 || !model->deviations.present()) {
    shares_ = {};
    return shares_.shares;
  }
  const ShareKey key{model->deviations.data(),
                     model->deviations.size(),
                     l.upper,
                     l.lower,
                     l.barCount,
                     l.layout,
                     l.gradient,
                     l.extended};
  if (!shares_.valid || !(shares_.key == key)) {
    DisplaySettings shown;
    shown.upperTolerance = l.upper;
    shown.lowerTolerance = l.lower;
    shown.colourBars = l.barCount;
    shown.gradient = l.gradient;
    shown.extendedColours = l.extended;
    const ColourScale scale = legendScale(shown);
    shares_ = {true, key, {}};
    for (const BandCount &b : DeviationStats::countBands(key.values, key.count, scale))
      shares_.shares.push_back(b.fraction);
  }
  return shares_.shares;
}

void ViewScene::rebuildLegend(ViewState &view, bool gradient) {
  const DisplaySettings &d = view.display;
  legend_ = std::make_unique<LegendNode>(&view, float(d.upperTolerance), float(d.lowerTolerance),
                                         d.colourBars, code(ScaleLayout::Standard), gradient);
  // The legend shows the model's extended colours switch.
  legend()->extended = pointCloud_ ? pointCloud_->display.extendedColours : false;
}

void ViewScene::setPlaneCorners(const std::array<Vec3d, 4> &corners) {
  planeCorners_ = corners;
  plane_ = std::make_unique<TransparentPlane>(
      view_, std::vector<Vec3d>(planeCorners_.begin(), planeCorners_.end()));
}

void ViewScene::clearPlane() { plane_.reset(); }

void ViewScene::ensureTextList(ViewState &view) {
  if (!textList_) {
    textList_ = std::make_unique<GLTextList>("test");
    GLTextList::createOutlineFont();
  }
  view.textList = textList_.get();
}

namespace {
// Grey at the bottom, blue at the top, behind everything.
void drawBackground() {
  glDisable(GL_LIGHTING);
  glClear(GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glShadeModel(GL_SMOOTH);
  glDepthFunc(GL_ALWAYS);
  glDepthMask(GL_FALSE);
  glBegin(GL_QUADS);
  glColor3d(0.9, 0.9, 0.9);
  glVertex3d(-1, -1, 0.9);
  glVertex3d(1, -1, 0.9);
  glColor3d(0.268, 0.38, 0.535);
  glVertex3d(1, 1, 0.9);
  glVertex3d(-1, 1, 0.9);
  glEnd();
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glEnable(GL_LIGHTING);
}
} // namespace

void ViewScene::numberCallouts() {
  for (auto [list, prefix] : {std::pair{&banners, "B"}, std::pair{&distances, "D"}}) {
    int number = 0;
    list->forEach([&, prefix = prefix](SceneNode *n) {
      if (auto *label = dynamic_cast<LabelNode *>(n))
        label->calloutId = prefix + std::to_string(++number);
    });
  }
}

void ViewScene::draw(ViewState &view) {
  const auto frameStart = std::chrono::steady_clock::now();
  setProjection(view);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  ensureTextList(view);

  // Pan in pixels at the centre's depth, so the model follows the cursor at any distance.
  const double k = view.pixelSize();
  glTranslated(-k * view.panX, k * view.panY, -view.distance);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_LIGHTING);
  const GLfloat specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);

  // The model turns about its centre: wherever its coordinates lie, it stays in view.
  view.rotation.applyForFrame(view);
  glTranslated(-view.centre.x, -view.centre.y, -view.centre.z);
  drawBackground();

  GLPointCloud *cloud = pointCloud_;
  if (!cloud)
    return;
  if (view.overlays) {
    axes()->drawCornerTriad(&view, 0, Vec3d{50, 50, 50}, Vec3d{1, 0, 0}, Vec3d{0, 1, 0});
    axes()->draw(&view, 0);
  }
  if (view.showModel)
    cloud->draw(&view, 0);
  if (plane())
    plane()->drawPlane(&view, 0);
  drawSingleBannerPanel(view, *this);
  const SessionModel *model = cloud->model();
  if (view.hoveredPoint >= 0 && model && view.hoveredPoint < model->pointCount) {
    const Vec3f &p = model->points[view.hoveredPoint];
    drawHoverPanel(view, *this, p.x, p.y, p.z, picking::deviationOf(*model, view.hoveredPoint),
                   view.hoveredPoint);
  }
  rebuildLegend(view, cloud->display.gradient);
  if (view.display.showPercentages)
    legend()->entryShares = legendShares();
  if (view.overlays) {
    legend()->drawLegend(&view, 0);
    scale()->draw(&view, 0);
  }
  banners.drawAll(&view, 0);
  distances.drawAll(&view, 0);
  comments.drawAll(&view, 0);
  sectionCurves.drawAll(&view, 0);
  if (view.showModel && cloud->lastDrawFull()) {
    // Only frames that show the whole model measure it, and only once the driver is done.
    glFinish();
    view.lastFullFrameMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - frameStart)
            .count();
    cloud->afterFullFrame(view);
  }
}

std::string ViewScene::uploadStatus() const {
  if (!pointCloud_ || !pointCloud_->uploadPending())
    return {};
  const int percent = int(std::floor(100.0 * pointCloud_->uploadProgress()));
  return "Uploading model... " + std::to_string(percent) + " %";
}

namespace {
// A value rounded to float. Through a volatile: GCC 12 at -O2 drops a pair of adjacent
// double -> float -> double round trips after a struct copy (vectorised), keeping the doubles.
double singlePrecision(double v) {
  volatile float rounded = static_cast<float>(v);
  return rounded;
}
} // namespace

void ViewScene::applySettings(ViewState &view) {
  GLPointCloud *cloud = pointCloud_;
  if (!cloud)
    return;
  if (showStatus)
    showStatus("Is loading....");
  // The cloud draws with the view's settings; the colour arrays follow on the next draw.
  cloud->display = view.display;
  // It draws in single precision: the band it filters with is the one it colours with.
  cloud->display.upperTolerance = singlePrecision(view.display.upperTolerance);
  cloud->display.lowerTolerance = singlePrecision(view.display.lowerTolerance);
  cloud->display.magnification = singlePrecision(view.display.magnification);
  cloud->invalidate();
  rebuildLegend(view, false);
  if (requestFrame)
    requestFrame();
  // A large model keeps uploading over the next frames, which report their progress.
  if (showStatus && uploadStatus().empty())
    showStatus("Ready");
}

picking::FrameSample ViewScene::sampleAround(int x, int y, int radius) const {
  const GLMatrices m = currentMatrices();
  picking::FrameSample s;
  s.modelView = m.modelView;
  s.projection = m.projection;
  s.viewport = m.viewport;
  const int row = m.viewport[3] - 1 - y;
  s.cursorX = x + 0.5;
  s.cursorY = row + 0.5;
  // The window around the cursor, clipped to the viewport.
  const int x0 = std::max(x - radius, 0), y0 = std::max(row - radius, 0);
  const int x1 = std::min(x + radius + 1, m.viewport[2]);
  const int y1 = std::min(row + radius + 1, m.viewport[3]);
  if (x1 <= x0 || y1 <= y0)
    return s;
  s.x0 = x0;
  s.y0 = y0;
  s.width = x1 - x0;
  s.height = y1 - y0;
  s.depth.resize(std::size_t(s.width) * std::size_t(s.height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x0, y0, s.width, s.height, GL_DEPTH_COMPONENT, GL_FLOAT, s.depth.data());
  return s;
}
