#include "view/SceneSync.h"

#include "analysis/ColourScale.h"
#include "analysis/DisplaySettings.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/BannerNode.h"
#include "view/CommentNode.h"
#include "view/DistanceNode.h"
#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/ViewScene.h"

#include <algorithm>

using Part = Document::Part;

SceneSync::SceneSync(ModelView &view, Document &document) : view_(view), doc_(document) {
  listener_ = doc_.addListener([this](const Document::Change &c) { changed(c); });
  rebuild();
}

SceneSync::~SceneSync() { doc_.removeListener(listener_); }

std::vector<SceneNode *> &SceneSync::slotsOf(Part part) {
  return part == Part::Banners ? banners_ : part == Part::Distances ? distances_ : comments_;
}

const std::vector<SceneNode *> &SceneSync::nodes(Part part) const {
  return const_cast<SceneSync *>(this)->slotsOf(part);
}

NodeList &SceneSync::list(Part part) {
  ViewScene &scene = view_.scene();
  return part == Part::Banners     ? scene.banners
         : part == Part::Distances ? scene.distances
                                   : scene.comments;
}

std::optional<SceneSync::Ref> SceneSync::recordOf(const SceneNode *node) const {
  if (!node)
    return std::nullopt;
  for (Part p : {Part::Banners, Part::Distances, Part::Comments}) {
    const auto &s = nodes(p);
    if (const auto it = std::find(s.begin(), s.end(), node); it != s.end())
      return Ref{p, std::size_t(it - s.begin())};
  }
  return std::nullopt;
}

SceneNode *SceneSync::make(Part part, std::size_t index) {
  const SessionModel *model = view_.scene().shownModel();
  if (part == Part::Comments) {
    const CommentRecord &c = doc_.comments()[index];
    auto *text = new CommentNode(&view_, c.x, c.y, static_cast<float>(c.angle), c.size, c.text);
    text->fontSelector = TextNode::kOutlineFont;
    text->fill = c.fill;
    return text;
  }
  const GLPointCloud *cloud = view_.pointCloud();
  if (!model || !cloud)
    return nullptr;
  // Made as a restored record is: the record's offset places the label.
  const std::array<double, 16> unturned = ViewRotation::identity();
  const int places = view_.display.decimalPlaces;
  if (part == Part::Banners) {
    const BannerRecord &b = doc_.banners()[index];
    if (!picking::isModelPoint(*model, b.point))
      return nullptr;
    const ColourScale scale = bannerScale(view_.display);
    auto banner = picking::makeBanner(&view_, *model, b.point, unturned, 0, places, scale);
    banner->setBoxOffset(b.boxOffset);
    banner->comment = b.comment;
    return banner.release();
  }
  const DistanceRecord &d = doc_.distances()[index];
  auto node = makeDistance(&view_, *model, d.first, d.second, unturned, 0, places);
  if (!node)
    return nullptr;
  node->setBoxOffset(d.boxOffset);
  node->comment = d.comment;
  return node.release();
}

void SceneSync::insert(Part part, std::size_t index) {
  std::vector<SceneNode *> &s = slotsOf(part);
  index = std::min(index, s.size());
  SceneNode *node = make(part, index);
  s.insert(s.begin() + std::ptrdiff_t(index), node);
  if (!node)
    return;
  // Its place in the list: after the drawn nodes of the records before it.
  const auto before = std::count_if(s.begin(), s.begin() + std::ptrdiff_t(index),
                                    [](SceneNode *n) { return n != nullptr; });
  list(part).insert(node, std::size_t(before));
}

void SceneSync::remove(Part part, std::size_t index) {
  std::vector<SceneNode *> &s = slotsOf(part);
  if (index >= s.size())
    return;
  SceneNode *node = s[index];
  s.erase(s.begin() + std::ptrdiff_t(index));
  if (!node)
    return;
  list(part).remove(node);
  view_.forgetNode(node);
  view_.releaseNodes({node});
}

void SceneSync::update(Part part, std::size_t index) {
  std::vector<SceneNode *> &s = slotsOf(part);
  if (index >= s.size() || !s[index])
    return;
  if (part == Part::Comments) {
    const CommentRecord &c = doc_.comments()[index];
    static_cast<CommentNode *>(s[index])->position = Vec3d(c.x, c.y, 0);
    return;
  }
  auto *banner = static_cast<BannerNode *>(s[index]);
  if (part == Part::Banners) {
    banner->setBoxOffset(doc_.banners()[index].boxOffset);
    banner->comment = doc_.banners()[index].comment;
  } else {
    banner->setBoxOffset(doc_.distances()[index].boxOffset);
    banner->comment = doc_.distances()[index].comment;
  }
}

void SceneSync::clear(Part part) {
  std::vector<SceneNode *> &s = slotsOf(part);
  std::vector<SceneNode *> gone;
  for (SceneNode *n : s)
    if (n) {
      list(part).remove(n);
      view_.forgetNode(n);
      gone.push_back(n);
    }
  s.clear();
  view_.releaseNodes(gone);
}

void SceneSync::rebuild() {
  for (Part p : {Part::Banners, Part::Distances, Part::Comments}) {
    clear(p);
    const std::size_t n = p == Part::Banners     ? doc_.banners().size()
                          : p == Part::Distances ? doc_.distances().size()
                                                 : doc_.comments().size();
    for (std::size_t i = 0; i < n; ++i)
      insert(p, i);
  }
}

void SceneSync::changed(const Document::Change &c) {
  if (c.part != Part::Banners && c.part != Part::Distances && c.part != Part::Comments)
    return;
  switch (c.kind) {
  case Document::Kind::Inserted:
    insert(c.part, c.index);
    break;
  case Document::Kind::Removed:
    remove(c.part, c.index);
    break;
  case Document::Kind::Changed:
    update(c.part, c.index);
    break;
  case Document::Kind::Reset: {
    clear(c.part);
    const std::size_t n = c.part == Part::Banners     ? doc_.banners().size()
                          : c.part == Part::Distances ? doc_.distances().size()
                                                      : doc_.comments().size();
    for (std::size_t i = 0; i < n; ++i)
      insert(c.part, i);
    break;
  }
  }
  // Labels carry their place in the list (B1, D1, ...), as the callout table numbers them.
  view_.scene().numberCallouts();
  view_.update();
}
