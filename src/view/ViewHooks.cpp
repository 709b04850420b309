#include "view/ViewHooks.h"

#include "analysis/ColourScale.h"
#include "scene/GLPointCloud.h"
#include "view/BannerNode.h"
#include "view/CommentNode.h"
#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/PointLookup.h"
#include "view/ViewScene.h"

#include <GL/gl.h>

// The view calls these with its context current and the camera matrices of its last frame
// still loaded, so unprojection and projection see what the user sees.

namespace {
// Hover and click pick only a whole, shown model: the frame of an upload under way shows a
// thinned stand-in.
bool pickable(const ModelView &view, const ViewScene &scene) {
  const GLPointCloud *cloud = scene.pointCloud();
  return view.showModel && cloud && cloud->model() && !cloud->uploadPending();
}
} // namespace

int nearestPointUnderCursor(ModelView &view, ViewScene &scene, int x, int y) {
  if (!pickable(view, scene))
    return -1;
  const SessionModel *model = scene.shownModel();
  if (!model)
    return -1;
  return picking::hoverPick(model, scene.sampleAround(x, y));
}

BannerNode *createBannerAtClick(ModelView &view, ViewScene &scene, int x, int y, std::string *why) {
  return placeBannerAt(view, scene, scene.sampleAround(x, y), why);
}

BannerNode *placeBannerAt(ModelView &view, ViewScene &scene, const picking::FrameSample &sample,
                          std::string *why) {
  const GLPointCloud *cloud = scene.pointCloud();
  const auto none = [&](const std::string &reason) -> BannerNode * {
    scene.banners.forEach([](SceneNode *n) { n->setSelected(false); });
    if (why)
      *why = reason;
    return nullptr;
  };
  if (!pickable(view, scene))
    return none(view.showModel ? "No banner pinned: picking is ready when the model is loaded"
                               : "No banner pinned: the model is hidden");
  const std::optional<int> index = picking::bannerPick(cloud->model(), sample);
  if (!index) {
    // Only the index still being built can tell: the click is placed once it is ready.
    view.pointLookup().deferClick(sample);
    return none("Preparing point lookup: the banner is pinned once it is ready");
  }
  if (*index < 0)
    return none("No banner pinned: no measured point within " +
                std::to_string(picking::kSnapPixels) + " pixels of the click");
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
