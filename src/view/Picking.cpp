#include "view/Picking.h"

#include "analysis/BackgroundPointIndex.h"
#include "scene/GLTextList.h"
#include "scene/NodeList.h"
#include "scene/ViewState.h"
#include "scene/WindowOverlay.h"
#include "session/SessionModel.h"
#include "view/BannerNode.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <unordered_set>
#include <vector>

namespace picking {

std::string printFixed(double value) {
  // to_chars is locale-free: Qt sets the process locale, and a decimal comma would hide the
  // point the cut looks for.
  if (std::isnan(value))
    return std::signbit(value) ? "-nan" : "nan";
  if (std::isinf(value))
    return value < 0 ? "-inf" : "inf";
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
  if (res.ec != std::errc())
    return "nan";
  return std::string(buf, res.ptr);
}

std::string cutAfterDecimals(const std::string &text, int places, std::size_t bufferSize) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos)
    return text;
  const std::size_t keep = static_cast<std::size_t>(std::clamp(places, 0, kMaxDecimalPlaces));
  const std::size_t cut = dot + 1 + keep;
  if (cut >= text.size() || cut >= bufferSize)
    return text;
  // Rounded half away from zero on the printed digits: the first dropped digit decides.
  std::string out = text.substr(0, cut);
  std::size_t first = dot; // first digit of the number
  while (first > 0 && out[first - 1] >= '0' && out[first - 1] <= '9')
    --first;
  if (text[cut] >= '5' && text[cut] <= '9') {
    std::size_t i = out.size();
    bool carry = true;
    while (carry && i > first) {
      --i;
      if (out[i] == '.')
        continue;
      carry = out[i] == '9';
      out[i] = carry ? '0' : static_cast<char>(out[i] + 1);
    }
    if (carry)
      out.insert(first, 1, '1');
  }
  // No dangling point with 0 places, and no minus sign on a value that rounded to zero.
  if (out.back() == '.')
    out.pop_back();
  if (first > 0 && out[first - 1] == '-' && out.find_first_not_of("0.", first) == std::string::npos)
    out.erase(first - 1, 1);
  return out;
}

std::string formatValue(double value, int places, std::size_t bufferSize) {
  return cutAfterDecimals(printFixed(value), places, bufferSize);
}

namespace {

std::size_t usablePointCount(const SessionModel &model) {
  if (!model.points.present() || model.pointCount <= 0)
    return 0;
  return std::min<std::size_t>(model.points.size(), static_cast<std::size_t>(model.pointCount));
}

// What identifies a model's points cheaply: where they live, how many, and a sample of their
// bits, so a model moved in place or a new model at a reused address rebuilds the index.
struct ModelKey {
  const SessionModel *model = nullptr;
  const Vec3f *data = nullptr;
  std::size_t count = 0;
  std::uint64_t sample = 0;
  friend bool operator==(const ModelKey &, const ModelKey &) = default;
};

ModelKey keyOf(const SessionModel &model) {
  ModelKey k{&model, model.points.data(), usablePointCount(model), 1469598103934665603ull};
  if (k.count == 0)
    return k;
  constexpr std::size_t kSamples = 17;
  for (std::size_t s = 0; s < kSamples; ++s) {
    const Vec3f &p = model.points[(k.count - 1) * s / (kSamples - 1)];
    std::uint32_t bits[3];
    std::memcpy(bits, &p, sizeof bits);
    for (std::uint32_t b : bits)
      k.sample = (k.sample ^ b) * 1099511628211ull;
  }
  return k;
}

// The index a model holds, with the key of the points it was built from: points moved since
// (magnification) or another array make it stale.
struct ModelIndex {
  ModelKey key;
  std::unique_ptr<BackgroundPointIndex> index;
};

} // namespace

bool isModelPoint(const SessionModel &model, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < usablePointCount(model);
}

BackgroundPointIndex &sharedLookup(const SessionModel &model) {
  const ModelKey key = keyOf(model);
  auto *held = static_cast<ModelIndex *>(model.pointIndex.get());
  if (!held || !(held->key == key)) {
    auto fresh = std::make_shared<ModelIndex>();
    fresh->key = key;
    fresh->index = std::make_unique<BackgroundPointIndex>(model.points.data(), key.count,
                                                          key.count > kInlineIndexLimit);
    held = fresh.get();
    model.pointIndex = std::move(fresh);
  }
  return *held->index;
}

const NearestPointIndex &sharedIndex(const SessionModel &model) {
  return sharedLookup(model).wait();
}

const NearestPointIndex *readyIndex(const SessionModel &model) {
  return sharedLookup(model).ready();
}

NearestHit nearestPoint(const SessionModel &model, const Vec3d &world) {
  NearestHit hit;
  if (usablePointCount(model) == 0)
    return hit;
  hit.index = sharedIndex(model).nearest(world, &hit.distance);
  return hit;
}

void forgetModel(const SessionModel *model) {
  if (model)
    model->pointIndex.reset();
}

int hoverIndex(const SessionModel *model, const Vec3d &world) {
  if (!model)
    return -1;
  return nearestPoint(*model, world).index;
}

int bannerIndex(const SessionModel *model, const Vec3d &world) {
  if (!model)
    return -1;
  const NearestHit hit = nearestPoint(*model, world);
  return hit.index >= 0 && hit.distance < kBannerPickLimit ? hit.index : -1;
}

namespace {

// A pixel shows the model (or another drawn node) when its depth lies before the far plane.
bool drawn(float depth) { return depth >= 0.0f && depth < 1.0f; }

std::optional<Vec3d> unprojectAt(const FrameSample &s, double wx, double wy, float depth) {
  GLdouble x, y, z;
  if (gluUnProject(wx, wy, depth, s.modelView.data(), s.projection.data(), s.viewport.data(), &x,
                   &y, &z) != GL_TRUE)
    return std::nullopt;
  return Vec3d{x, y, z};
}

// Squared screen distance from the cursor to a model point; none behind the eye or when
// the matrices are singular.
std::optional<double> screenDistance2(const FrameSample &s, const Vec3f &p) {
  GLdouble wx, wy, wz;
  if (gluProject(p.x, p.y, p.z, s.modelView.data(), s.projection.data(), s.viewport.data(), &wx,
                 &wy, &wz) != GL_TRUE ||
      !(wz >= 0.0 && wz <= 1.0))
    return std::nullopt;
  const double dx = wx - s.cursorX, dy = wy - s.cursorY;
  return dx * dx + dy * dy;
}

} // namespace

std::optional<Vec3d> worldAtCursor(const FrameSample &s) {
  const int col = int(std::floor(s.cursorX)) - s.x0, row = int(std::floor(s.cursorY)) - s.y0;
  if (col < 0 || row < 0 || col >= s.width || row >= s.height ||
      s.depth.size() < std::size_t(s.width) * std::size_t(s.height))
    return std::nullopt;
  const float d = s.depth[std::size_t(row) * std::size_t(s.width) + std::size_t(col)];
  if (!drawn(d))
    return std::nullopt;
  return unprojectAt(s, s.x0 + col + 0.5, s.y0 + row + 0.5, d);
}

namespace {

int snapWith(const NearestPointIndex &index, const SessionModel &model, const FrameSample &s) {
  if (s.depth.size() < std::size_t(s.width) * std::size_t(s.height))
    return -1;
  const double limit2 = double(kSnapPixels) * kSnapPixels;
  int best = -1;
  double bestD2 = 0;
  // Neighbouring pixels mostly share their nearest point: each point is projected once.
  std::unordered_set<int> seen;
  for (int row = 0; row < s.height; ++row)
    for (int col = 0; col < s.width; ++col) {
      const float d = s.depth[std::size_t(row) * std::size_t(s.width) + std::size_t(col)];
      if (!drawn(d))
        continue;
      const std::optional<Vec3d> world = unprojectAt(s, s.x0 + col + 0.5, s.y0 + row + 0.5, d);
      if (!world)
        continue;
      const int found = index.nearest(*world);
      if (found < 0 || !seen.insert(found).second)
        continue;
      const std::optional<double> d2 = screenDistance2(s, model.points[std::size_t(found)]);
      if (!d2 || *d2 > limit2)
        continue;
      if (best < 0 || *d2 < bestD2 || (*d2 == bestD2 && found < best)) {
        best = found;
        bestD2 = *d2;
      }
    }
  return best;
}

// The nearest point by the index when it is ready, else by one pass over the points.
NearestHit nearestNow(const NearestPointIndex *index, const SessionModel &model,
                      const Vec3d &world) {
  NearestHit hit;
  hit.index = index ? index->nearest(world, &hit.distance)
                    : nearestPointLinear(model.points.data(), usablePointCount(model), world,
                                         &hit.distance);
  return hit;
}

} // namespace

int snapIndex(const SessionModel &model, const FrameSample &s) {
  if (usablePointCount(model) == 0)
    return -1;
  return snapWith(sharedIndex(model), model, s);
}

namespace {

// The one rule hover and click share, so a click where the panel shows a point pins it: the
// nearest point to what the cursor's pixel shows when it lies within the pick limit or
// within kSnapPixels of the cursor on screen, else the on-screen snap. None (nullopt) when
// only the unfinished index can tell; scanLimit caps the point count scanned meanwhile.
std::optional<int> pickPoint(const SessionModel *model, const FrameSample &sample,
                             std::size_t scanLimit) {
  if (!model || usablePointCount(*model) == 0)
    return -1;
  const NearestPointIndex *index = readyIndex(*model);
  if (const std::optional<Vec3d> world = worldAtCursor(sample);
      world && (index || usablePointCount(*model) <= scanLimit)) {
    const NearestHit hit = nearestNow(index, *model, *world);
    if (hit.index >= 0) {
      const std::optional<double> d2 =
          screenDistance2(sample, model->points[std::size_t(hit.index)]);
      if (hit.distance < kBannerPickLimit || (d2 && *d2 <= double(kSnapPixels) * kSnapPixels))
        return hit.index;
    }
  }
  if (!index)
    return std::nullopt;
  return snapWith(*index, *model, sample);
}

} // namespace

int hoverPick(const SessionModel *model, const FrameSample &sample) {
  return pickPoint(model, sample, kScanHoverLimit).value_or(-1);
}

std::optional<int> bannerPick(const SessionModel *model, const FrameSample &sample) {
  return pickPoint(model, sample, std::numeric_limits<std::size_t>::max());
}

std::optional<double> deviationOf(const SessionModel &model, int index) {
  if (model.deviationMode <= 0 || index < 0 || !model.deviations.present() ||
      std::size_t(index) >= model.deviations.size())
    return std::nullopt;
  return model.deviations[std::size_t(index)];
}

Vec3d screenRight(const std::array<double, 16> &m) { return normalised(Vec3d(m[0], m[4], m[8])); }

Vec3d screenUp(const std::array<double, 16> &m) { return normalised(Vec3d(m[1], m[5], m[9])); }

Vec3d labelAnchor(const Vec3d &point, const std::array<double, 16> &modelView,
                  double unitsPerPixel) {
  const double step = 150.0 * unitsPerPixel;
  return point + screenRight(modelView) * step + screenUp(modelView) * step;
}

namespace {

// The cell layout on screen positions in pixels (x right, y up): from the top down, each
// label snaps to its cell, or the first free one below it in its column; with a bottom edge,
// a column that reaches it goes on from the label's own row one column to the left, so a long
// list wraps into the view instead of running out of it. Every probe visits a new cell and
// only placed labels occupy cells, so a label passes at most n of them: it ends by
// construction.
std::vector<std::pair<double, double>> cellLayout(const std::vector<BannerNode *> &banners,
                                                  const std::vector<std::pair<double, double>> &at,
                                                  std::optional<double> bottom = std::nullopt) {
  // Whole-pixel cells one label high and wide plus a margin: labels in different cells never
  // overlap, and the margin is far larger than any rounding of the anchors.
  int row = 1, column = 1;
  for (const BannerNode *b : banners) {
    row = std::max(row, 2 * b->labelHalfHeight() + 3);
    column = std::max(column, b->labelWidth() + 14); // 10 of them for a tab
  }
  // Cell numbers stay far inside 64 bits whatever the anchors; a broken one goes to cell 0.
  auto cellOf = [](double pixels, int size) {
    const double c = std::floor(pixels / size + 0.5);
    return std::isfinite(c) ? static_cast<long long>(std::clamp(c, -1e15, 1e15)) : 0LL;
  };
  std::vector<std::size_t> order(at.size());
  std::vector<std::pair<long long, long long>> cell(at.size());
  for (std::size_t i = 0; i < at.size(); ++i) {
    order[i] = i;
    cell[i] = {cellOf(at[i].first, column), cellOf(at[i].second, row)};
  }
  // Top down, then left to right; equal cells keep the callout order.
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return cell[a].second != cell[b].second ? cell[a].second > cell[b].second
                                            : cell[a].first < cell[b].first;
  });
  // The lowest row whose label box lies wholly above the bottom edge.
  const long long lowest = bottom && std::isfinite(*bottom)
                               ? static_cast<long long>(std::ceil(*bottom / row + 0.5))
                               : std::numeric_limits<long long>::min();
  std::set<std::pair<long long, long long>> taken;
  std::vector<std::pair<double, double>> placed(at.size());
  for (const std::size_t i : order) {
    auto [cx, cy] = cell[i];
    const long long top = cy;
    while (taken.count({cx, cy}))
      if (--cy < lowest && top >= lowest) {
        --cx;
        cy = top;
      }
    taken.insert({cx, cy});
    placed[i] = {double(cx) * column, double(cy) * row};
  }
  return placed;
}

} // namespace

void spreadLabels(const std::vector<BannerNode *> &banners, const std::array<double, 16> &modelView,
                  double pixelSize) {
  if (!(pixelSize > 0) || !std::isfinite(pixelSize) || banners.empty())
    return;
  const Vec3d right = screenRight(modelView), up = screenUp(modelView);
  std::vector<std::pair<double, double>> at;
  for (const BannerNode *b : banners)
    at.emplace_back(dot(b->labelAnchor, right) / pixelSize, dot(b->labelAnchor, up) / pixelSize);
  const auto placed = cellLayout(banners, at);
  for (std::size_t i = 0; i < banners.size(); ++i) {
    const double dx = placed[i].first - at[i].first, dy = placed[i].second - at[i].second;
    if (std::isfinite(dx) && std::isfinite(dy))
      banners[i]->labelAnchor =
          banners[i]->labelAnchor + right * (dx * pixelSize) + up * (dy * pixelSize);
  }
}

void spreadLabelsOnScreen(const std::vector<BannerNode *> &banners,
                          const std::array<double, 16> &modelView,
                          const std::array<double, 16> &projection,
                          const std::array<int, 4> &viewport) {
  std::vector<BannerNode *> shown;
  std::vector<std::pair<double, double>> at;
  std::vector<double> depth;
  for (BannerNode *b : banners) {
    GLdouble wx, wy, wz;
    if (gluProject(b->labelAnchor.x, b->labelAnchor.y, b->labelAnchor.z, modelView.data(),
                   projection.data(), viewport.data(), &wx, &wy, &wz) == GL_TRUE &&
        std::isfinite(wx) && std::isfinite(wy) && std::isfinite(wz)) {
      shown.push_back(b);
      at.emplace_back(wx, wy);
      depth.push_back(wz);
    }
  }
  const auto placed = cellLayout(shown, at, double(viewport[1]));
  for (std::size_t i = 0; i < shown.size(); ++i) {
    GLdouble x, y, z;
    // Back to the world at the anchor's own depth, so the box lands on that pixel.
    if (gluUnProject(placed[i].first, placed[i].second, depth[i], modelView.data(),
                     projection.data(), viewport.data(), &x, &y, &z) == GL_TRUE &&
        std::isfinite(x) && std::isfinite(y) && std::isfinite(z))
      shown[i]->labelAnchor = Vec3d{x, y, z};
  }
}

std::unique_ptr<BannerNode> makeBanner(ViewState *view, const SessionModel &model, int index,
                                       const std::array<double, 16> &modelView,
                                       double unitsPerPixel, int decimalPlaces,
                                       const ColourScale &scale) {
  const Vec3f &p = model.points[static_cast<std::size_t>(index)];
  const Vec3d point(p.x, p.y, p.z);
  const float deviation =
      model.deviations.present() && static_cast<std::size_t>(index) < model.deviations.size()
          ? model.deviations[static_cast<std::size_t>(index)]
          : 0.0f;
  auto banner =
      std::make_unique<BannerNode>(view, point, labelAnchor(point, modelView, unitsPerPixel),
                                   formatValue(deviation, decimalPlaces, kBannerBuffer));
  banner->highlight = true;
  banner->labelPlaced = true;
  banner->separator = false;
  banner->tab = true;
  const Colour c = scale.colourFor(deviation);
  banner->setColour(c.r, c.g, c.b);
  banner->name = "Banner";
  banner->pointIndex = index;
  return banner;
}

BannerNode *createBanner(ViewState *view, NodeList &banners, const SessionModel *model, int index,
                         const std::array<double, 16> &modelView, int decimalPlaces,
                         const ColourScale &scale) {
  banners.forEach([](SceneNode *n) { n->setSelected(false); });
  if (!model || !isModelPoint(*model, index))
    return nullptr;
  const double k = view ? view->worldUnitsPerPixel() : 0.0;
  BannerNode *banner =
      makeBanner(view, *model, index, modelView, k, decimalPlaces, scale).release();
  banners.append(banner);
  return banner;
}

std::array<std::string, 4> hoverPanelTexts(double x, double y, double z,
                                           std::optional<double> deviation, int decimalPlaces) {
  return {cutAfterDecimals("X:  " + printFixed(x), decimalPlaces, kPanelBuffer),
          cutAfterDecimals("Y:  " + printFixed(y), decimalPlaces, kPanelBuffer),
          cutAfterDecimals("Z:  " + printFixed(z), decimalPlaces, kPanelBuffer),
          deviation
              ? cutAfterDecimals("Dev: " + printFixed(*deviation), decimalPlaces, kPanelBuffer)
              : std::string("Dev: -")};
}

std::array<std::string, 4> bannerPanelTexts(const BannerNode &banner, int decimalPlaces) {
  const std::string line0 = banner.lines().empty() ? std::string() : banner.lines()[0];
  return {cutAfterDecimals("X:    " + printFixed(banner.point.x), decimalPlaces, kPanelBuffer),
          cutAfterDecimals("Y:    " + printFixed(banner.point.y), decimalPlaces, kPanelBuffer),
          cutAfterDecimals("Z:    " + printFixed(banner.point.z), decimalPlaces, kPanelBuffer),
          cutAfterDecimals("Dev: " + line0, decimalPlaces, kPanelBuffer)};
}

const BannerNode *singleSelectedBanner(const NodeList &banners) {
  const BannerNode *found = nullptr;
  int selected = 0;
  banners.forEach([&](SceneNode *n) {
    if (!n->isSelected())
      return;
    ++selected;
    if (auto *b = dynamic_cast<const BannerNode *>(n))
      found = b;
  });
  return selected == 1 ? found : nullptr;
}

void drawPanel(ViewState &view, const std::array<std::string, 4> &texts, int x,
               const Colour &colour) {
  const WindowRect r = view.windowRect();
  glDisable(GL_LIGHTING);
  beginWindowOverlay(r.width, r.height);
  glShadeModel(GL_SMOOTH);
  glDisable(GL_CULL_FACE);
  glDepthFunc(GL_LEQUAL);

  glColor3d(colour.r, colour.g, colour.b);
  if (view.textList) {
    for (std::size_t i = 0; i < texts.size(); ++i)
      view.textList->drawText(texts[i], x, r.height - 40 - 20 * static_cast<int>(i), 0, 10);
  }

  endWindowOverlay();
}

} // namespace picking
