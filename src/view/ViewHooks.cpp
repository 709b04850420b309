#include "view/ViewHooks.h"

#include "analysis/ColourScale.h"
#include "scene/GLPointCloud.h"
#include "view/BannerNode.h"
#include "view/CommentNode.h"
#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/PointLookup.h"
#include "view/ProgramSettings.h"
#include "view/ViewScene.h"

#include <GL/gl.h>

// The view calls these with its context current and the camera matrices of its last frame
// still loaded, so unprojection and projection see what the user sees.

int nearestPointUnderCursor(ModelView &view, ViewScene &scene, int x, int y) {
  if (!view.showModel)
    return -1;
  const SessionModel *model = scene.shownModel();
  if (!model)
    return -1;
  return picking::hoverPick(model, scene.sampleAround(x, y));
}

BannerNode *createBannerAtClick(ModelView &view, ViewScene &scene, int x, int y) {
  return placeBannerAt(view, scene, scene.sampleAround(x, y));
}

BannerNode *placeBannerAt(ModelView &view, ViewScene &scene, const picking::FrameSample &sample) {
  const GLPointCloud *cloud = scene.pointCloud();
  if (!cloud) {
    scene.banners.forEach([](SceneNode *n) { n->setSelected(false); });
    return nullptr;
  }
  const std::optional<int> index = picking::bannerPick(cloud->model(), sample);
  if (!index) {
    // Only the index still being built can tell: the click is placed once it is ready.
    scene.banners.forEach([](SceneNode *n) { n->setSelected(false); });
    view.pointLookup().deferClick(sample);
    return nullptr;
  }
  const ColourScale scale = bannerScale(view.display);
  return picking::createBanner(&view, scene.banners, cloud->model(), *index, sample.modelView,
                               view.display.decimalPlaces, scale);
}

bool hitComment(SceneNode *comment, int x, int y, ViewState &view) {
  auto *text = dynamic_cast<CommentNode *>(comment);
  if (!text)
    return false;
  return text->hitTest(x, y, text->angle(), view.windowRect().height);
}

void drawSingleBannerPanel(ViewState &view, ViewScene &scene) {
  // The panel's state handling runs every frame, selected banner or not, so every frame
  // leaves the same GL state behind.
  const BannerNode *banner = picking::singleSelectedBanner(scene.banners);
  const std::array<std::string, 4> texts =
      banner ? picking::bannerPanelTexts(*banner, view.display.decimalPlaces)
             : std::array<std::string, 4>{};
  picking::drawPanel(view, texts, 30, Colour{1, 1, 1});
}

void drawHoverPanel(ViewState &view, ViewScene & /*scene*/, double x, double y, double z,
                    std::optional<double> deviation, int /*index*/) {
  // The hover panel shows the outside layout's plain colours.
  DisplaySettings outside = view.display;
  outside.pointFilter = PointFilter::OutsideOnly;
  outside.gradient = outside.extendedColours = false;
  const ColourScale scale = modelScale(outside);
  // Without a deviation there is no colour to show: the panel is white like the banner's.
  const Colour colour =
      deviation ? scale.colourFor(static_cast<float>(*deviation)) : Colour{1, 1, 1};
  picking::drawPanel(view, picking::hoverPanelTexts(x, y, z, deviation, view.display.decimalPlaces),
                     160, colour);
}
