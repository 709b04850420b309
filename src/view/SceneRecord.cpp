#include "view/SceneRecord.h"

#include "analysis/ColourScale.h"
#include "analysis/SectionPlane.h"
#include "scene/GLPointCloud.h"
#include "scene/ViewState.h"
#include "session/SessionModel.h"
#include "view/BannerNode.h"
#include "view/CommentNode.h"
#include "view/DistanceNode.h"
#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/PolylineNode.h"
#include "view/SceneSync.h"
#include "view/SectionDialog.h"
#include "view/ViewScene.h"

#include <QString>
#include <algorithm>
#include <cmath>

DisplaySettings displaySettingsOf(const ViewState &view, const GLPointCloud *cloud) {
  DisplaySettings d = view.display;
  if (cloud) {
    // What is shown: a point file's cloud draws points whatever the view last applied.
    d.displayMode = cloud->display.displayMode;
    d.pointSize = cloud->display.pointSize;
  }
  return d;
}

void applyDisplaySettings(const DisplaySettings &d, ViewState &view, ViewScene &scene) {
  view.display = d;
  // Labels print at most this many places.
  view.display.decimalPlaces = std::clamp(d.decimalPlaces, 0, DisplayLimits::kMaxDecimalPlaces);
  scene.applySettings(view);
}

CameraRecord cameraOf(const ViewState &view) {
  CameraRecord c;
  c.rotation = view.rotation.accumulated;
  c.distance = view.distance;
  c.panX = view.panX;
  c.panY = view.panY;
  c.fieldOfView = view.fieldOfView;
  c.viewWidth = view.viewWidth;
  c.viewHeight = view.viewHeight;
  return c;
}

void applyCamera(const CameraRecord &c, ViewState &view) {
  if (c.rotation)
    view.rotation.accumulated = *c.rotation;
  view.pendingRotationX = view.pendingRotationY = 0;
  if (c.distance && *c.distance > 0)
    view.distance = *c.distance;
  if (c.fieldOfView && *c.fieldOfView > 0 && *c.fieldOfView < 180)
    view.fieldOfView = *c.fieldOfView;
  // A pan of n pixels moves the model n pixels; a taller view has more pixels per mm.
  const double scale = c.viewHeight && *c.viewHeight > 0 && view.viewHeight > 0
                           ? double(view.viewHeight) / double(*c.viewHeight)
                           : 1.0;
  if (c.panX)
    view.panX = *c.panX * scale;
  if (c.panY)
    view.panY = *c.panY * scale;
}

namespace {

// The point index of a banner made before indices were kept: the model point it sits on.
int indexOf(const SessionModel *model, const BannerNode &b) {
  if (b.pointIndex >= 0 || !model)
    return b.pointIndex;
  const picking::NearestHit hit = picking::nearestPoint(*model, b.point);
  return hit.index >= 0 && hit.distance == 0 ? hit.index : -1;
}

} // namespace

Annotations captureAnnotations(const ViewState &view, const ViewScene &scene) {
  Annotations a;
  const SessionModel *model = scene.shownModel();
  a.display = displaySettingsOf(view, scene.pointCloud());
  a.camera = cameraOf(view);
  scene.banners.forEach([&](SceneNode *n) {
    const auto *b = dynamic_cast<const BannerNode *>(n);
    const int index = b ? indexOf(model, *b) : -1;
    if (index >= 0)
      a.banners.push_back(BannerRecord{index, b->boxOffset(), b->comment});
  });
  scene.distances.forEach([&](SceneNode *n) {
    const auto *d = dynamic_cast<const DistanceNode *>(n);
    if (d && d->firstIndex >= 0 && d->secondIndex >= 0)
      a.distances.push_back(
          DistanceRecord{d->firstIndex, d->secondIndex, d->boxOffset(), d->comment});
  });
  scene.comments.forEach([&](SceneNode *n) {
    auto *t = dynamic_cast<CommentNode *>(n);
    if (!t)
      return;
    CommentRecord c;
    c.text = t->text();
    c.x = t->position.x;
    c.y = t->position.y;
    c.size = t->size();
    c.angle = t->angle();
    c.fill = t->fill;
    a.comments.push_back(c);
  });
  a.section = sectionOf(scene);
  return a;
}

std::optional<SectionRecord> sectionOf(const ViewScene &scene) { return scene.section; }

SceneCallouts calloutsOf(ModelView &view) {
  SceneCallouts out;
  const SessionModel *model = view.scene().shownModel();
  if (!model)
    return out;
  const Document &doc = view.document();
  // The status column follows the colours, gradient included.
  out.rows = calloutRows(*model, doc.banners(), doc.distances(), view.display.lowerTolerance,
                         view.display.upperTolerance, view.display.gradient);
  for (const CalloutRow &r : out.rows)
    out.nodes.push_back(view.sync().nodes(r.kind == CalloutRow::Kind::Banner
                                              ? Document::Part::Banners
                                              : Document::Part::Distances)[std::size_t(r.callout)]);
  return out;
}

AppliedNodes applyAnnotations(const Annotations &record, ViewState &view, ViewScene &scene) {
  AppliedNodes added;
  applyDisplaySettings(record.display, view, scene);
  applyCamera(record.camera, view);
  GLPointCloud *cloud = scene.pointCloud();
  const SessionModel *model = scene.shownModel();
  if (!cloud || !model)
    return added;

  const ColourScale scale = bannerScale(view.display);
  const int places = view.display.decimalPlaces;
  const std::array<double, 16> unturned = ViewRotation::identity();
  for (const BannerRecord &b : record.banners) {
    if (!picking::isModelPoint(*model, b.point))
      continue;
    auto banner = picking::makeBanner(&view, *model, b.point, unturned, 0, places, scale);
    banner->setBoxOffset(b.boxOffset);
    banner->comment = b.comment;
    added.banners.push_back(banner.get());
    scene.banners.append(banner.release());
  }
  for (const DistanceRecord &d : record.distances) {
    auto node = makeDistance(&view, *model, d.first, d.second, unturned, 0, places);
    if (!node)
      continue;
    node->setBoxOffset(d.boxOffset);
    node->comment = d.comment;
    added.distances.push_back(node.get());
    scene.distances.append(node.release());
  }
  // Comment positions are pixels of the view the record was made in.
  const double sx = record.camera.viewWidth && *record.camera.viewWidth > 0
                        ? double(view.viewWidth) / *record.camera.viewWidth
                        : 1.0;
  const double sy = record.camera.viewHeight && *record.camera.viewHeight > 0
                        ? double(view.viewHeight) / *record.camera.viewHeight
                        : 1.0;
  for (const CommentRecord &c : record.comments) {
    auto *text =
        new CommentNode(&view, c.x * sx, c.y * sy, static_cast<float>(c.angle), c.size, c.text);
    text->fontSelector = TextNode::kOutlineFont;
    text->fill = c.fill;
    added.comments.push_back(text);
    scene.comments.append(text);
  }
  scene.numberCallouts(); // B1.., D1..: the window's sync numbers its own changes
  if (record.section) {
    if (const std::optional<AxisRecord> axes = axisRecordFromName(record.section->plane)) {
      auto curve = makeSectionCurve(view, *cloud, axes->normal(), record.section->point,
                                    &picking::sharedIndex(*model));
      // A plane that misses the model (a section is only ever saved when it cut) shows
      // nothing rather than an empty view.
      if (curve->count() > 0) {
        curve->sectionPlane = record.section->plane;
        curve->sectionPoint = record.section->point;
        replaceSectionCurve(scene, std::move(curve));
        view.showModel = false;
        added.section = true;
      }
    }
  }
  return added;
}
