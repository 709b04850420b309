// Banners: printed values, box size, layout, hit test, picking, creation and drawing.
#include "test_banners_env.h"

#include "analysis/ColourScale.h"
#include "scene/NodeList.h"
#include "view/BannerNode.h"
#include "view/Picking.h"

#include "analysis/BackgroundPointIndex.h"

#include <GL/glu.h>
#include <cmath>
#include <optional>
#include <random>
#include <thread>

using namespace bannertest;

namespace {

const std::array<double, 16> kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Window-pixel projection of the offscreen frame, as a matrix pair for the pure hit test.
std::array<double, 16> windowOrthoMatrix() {
  // glOrtho(0, W, 0, H, -1000, 1000), column-major.
  std::array<double, 16> m{};
  m[0] = 2.0 / kWidth;
  m[5] = 2.0 / kHeight;
  m[10] = -2.0 / 2000.0;
  m[12] = -1;
  m[13] = -1;
  m[15] = 1;
  return m;
}
const std::array<int, 4> kViewport{0, 0, kWidth, kHeight};

} // namespace

TEST(PrintedValues, RoundToTheDecimalPlacesWithoutADanglingPoint) {
  EXPECT_EQ(picking::formatValue(0.5, 3), "0.500");
  EXPECT_EQ(picking::formatValue(0.5, 0), "1"); // half away from zero
  EXPECT_EQ(picking::formatValue(1.234, 0), "1");
  EXPECT_EQ(picking::formatValue(12.5, 0), "13");
  EXPECT_EQ(picking::formatValue(-0.0125, 2), "-0.01");
  EXPECT_EQ(picking::formatValue(-0.0175, 2), "-0.02");
  EXPECT_EQ(picking::formatValue(0.1299, 2), "0.13");
  EXPECT_EQ(picking::formatValue(-9.9996, 3), "-10.000"); // the carry grows the number
  EXPECT_EQ(picking::formatValue(99.96, 1), "100.0");
  EXPECT_EQ(picking::formatValue(-0.0004, 3), "0.000"); // no minus on a rounded zero
  EXPECT_EQ(picking::formatValue(0.9999996, 2), "1.00");
  // More places than "%f" prints, or than the settings allow, leave the text as printed.
  EXPECT_EQ(picking::formatValue(0.5, 6), "0.500000");
  EXPECT_EQ(picking::formatValue(0.5, 9), "0.500000");
  // Negative counts count as 0.
  EXPECT_EQ(picking::formatValue(12.25, -3), "12");
  EXPECT_EQ(picking::cutAfterDecimals("Dev: -0.250000", 1, 60), "Dev: -0.3");
}

TEST(PrintedValues, CutBeyondTheBufferLeavesTheTextAsPrinted) {
  // Point at index 15, cut at 19: inside a 20-character buffer.
  EXPECT_EQ(picking::formatValue(123456789012345.0, 3), "123456789012345.000");
  // Point at index 16, cut at 20: beyond it.
  EXPECT_EQ(picking::formatValue(1234567890123456.0, 3), "1234567890123456.000000");
  // The panels' 60-character buffer counts the label too.
  EXPECT_EQ(picking::cutAfterDecimals("X:  " + std::string(54, '1') + ".250000", 1, 60),
            "X:  " + std::string(54, '1') + ".250000");
  EXPECT_EQ(picking::cutAfterDecimals("X:  " + std::string(53, '1') + ".250000", 1, 60),
            "X:  " + std::string(53, '1') + ".3");
  EXPECT_EQ(picking::cutAfterDecimals("nan", 3, 20), "nan");
}

TEST(PrintedValues, PanelTexts) {
  const auto hover = picking::hoverPanelTexts(1.5, -2.25, 3, 0.5, 3);
  EXPECT_EQ(hover[0], "X:  1.500");
  EXPECT_EQ(hover[1], "Y:  -2.250");
  EXPECT_EQ(hover[2], "Z:  3.000");
  EXPECT_EQ(hover[3], "Dev: 0.500");
  EXPECT_EQ(picking::hoverPanelTexts(1.5, 0, 0, 0, 0)[0], "X:  2");
  EXPECT_EQ(picking::hoverPanelTexts(1.5, 0, 0, std::nullopt, 3)[3], "Dev: -");
  // A point text file (no deviation colouring) has no deviations to show.
  auto m = makeModel({{0, 0, 0, 0.25f}});
  EXPECT_EQ(picking::deviationOf(*m, 0), 0.25);
  m->deviationMode = 0;
  EXPECT_EQ(picking::deviationOf(*m, 0), std::nullopt);

  BannerNode b(nullptr, {200, 10.125, -3}, {}, "0.500");
  const auto panel = picking::bannerPanelTexts(b, 1);
  EXPECT_EQ(panel[0], "X:    200.0");
  EXPECT_EQ(panel[1], "Y:    10.1");
  EXPECT_EQ(panel[2], "Z:    -3.0");
  EXPECT_EQ(panel[3], "Dev: 0.5");
}

TEST(BannerBox, WidthFollowsTheLongerOfTheFirstTwoLines) {
  BannerNode b(nullptr, {}, {}, "0.500");
  EXPECT_EQ(b.labelChars(), 6);
  EXPECT_EQ(b.labelWidth(), 50);
  EXPECT_EQ(b.labelHalfHeight(), 9);
  b.addLine("longer line");
  EXPECT_EQ(b.labelChars(), 12);
  EXPECT_EQ(b.labelHalfHeight(), 18);
  b.setLine(1, "ab"); // shorter second line: the first sizes the box
  EXPECT_EQ(b.labelChars(), 6);
  b.setLine(1, "12345"); // equal length: the second wins, same size
  EXPECT_EQ(b.labelChars(), 6);
  b.addLine("a third line that is much longer than both");
  EXPECT_EQ(b.labelChars(), 6);
  EXPECT_EQ(b.labelHalfHeight(), 27);
  for (int i = 0; i < 200; ++i)
    b.addLine("x");
  EXPECT_EQ(b.lineCount(), LabelNode::kMaxLines);
}

TEST(BannerBox, LayoutSidesAndLeaderEnd) {
  BannerNode b(nullptr, {}, {}, "0.500"); // c = 6, w = 50
  b.tab = true;
  // Centre lx + 4c + 1 = 125 exactly at the point: right of it.
  auto l = b.layout(125, 0, 100, 50);
  EXPECT_FALSE(l.leftOfPoint);
  EXPECT_EQ(l.leaderEndX, 100);
  EXPECT_EQ(l.boxX, 110);
  l = b.layout(126, 0, 100, 50);
  EXPECT_TRUE(l.leftOfPoint);
  EXPECT_EQ(l.leaderEndX, 160);
  EXPECT_EQ(l.boxX, 100);
  b.tab = false;
  l = b.layout(126, 0, 100, 50);
  EXPECT_EQ(l.leaderEndX, 150);
  l = b.layout(0, 0, 100, 50);
  EXPECT_EQ(l.boxX, 100);
}

TEST(BannerHitTest, StrictEdgesInWindowPixels) {
  // Anchor at window (300, 300) with y up, so y = 300 with y down too.
  BannerNode b(nullptr, {200, 200, 0}, {300, 300, 0}, "0.500");
  const auto proj = windowOrthoMatrix();
  auto hit = [&](int x, int y) { return b.hitTestWith(x, y, kIdentity, proj, kViewport); };
  EXPECT_TRUE(hit(301, 300));
  EXPECT_FALSE(hit(300, 300));
  EXPECT_TRUE(hit(347, 300)); // lx + 8c = 348
  EXPECT_FALSE(hit(348, 300));
  EXPECT_TRUE(hit(320, 292));
  EXPECT_FALSE(hit(320, 291));
  EXPECT_TRUE(hit(320, 308));
  EXPECT_FALSE(hit(320, 309));
  // The anchor's y is flipped: a box low in the window is hit near the bottom.
  b.moveTo({300, 100, 0});
  EXPECT_TRUE(hit(320, 500));
  EXPECT_FALSE(hit(320, 100));
  b.labelPlaced = false;
  EXPECT_FALSE(hit(320, 500));
}

TEST(BannerHitTest, ReadsTheCurrentMatrices) {
  beginPixelFrame();
  BannerNode b(&view(), {0, 0, 0}, {300, 300, 0}, "0.500");
  EXPECT_TRUE(b.hitTest(320, 300));
  glMatrixMode(GL_MODELVIEW);
  glTranslated(0, -100, 0); // the box moves down the window
  EXPECT_FALSE(b.hitTest(320, 300));
  EXPECT_TRUE(b.hitTest(320, 400));
}

TEST(BannerMoves, AnchorMovesThePointStays) {
  BannerNode b(nullptr, {1, 2, 3}, {4, 5, 6}, "x");
  EXPECT_TRUE(b.moveBy({1, -1, 0.5}));
  EXPECT_EQ(b.labelAnchor, (Vec3d{5, 4, 6.5}));
  EXPECT_TRUE(b.moveTo({0, 0, 0}));
  EXPECT_EQ(b.labelAnchor, (Vec3d{0, 0, 0}));
  EXPECT_EQ(b.point, (Vec3d{1, 2, 3}));
  EXPECT_EQ(b.name, "Banner");
}

TEST(Picking, NearestPointTiesAndLimits) {
  auto m = makeModel({{0, 0, 0, 0.1f}, {2, 0, 0, 0.2f}, {1, 0, 0, 0.3f}, {1, 0, 0, 0.4f}});
  // Between points 0 and 2 (both 0.5 away): the lower index wins.
  auto hit = picking::nearestPoint(*m, {0.5, 0, 0});
  EXPECT_EQ(hit.index, 0);
  EXPECT_DOUBLE_EQ(hit.distance, 0.5);
  // Points 2 and 3 coincide: the first of them.
  EXPECT_EQ(picking::nearestPoint(*m, {1.1, 0, 0}).index, 2);
  // Hover has no distance limit, the banner click has 0.5 (strict).
  EXPECT_EQ(picking::hoverIndex(m.get(), {50, 0, 0}), 1);
  EXPECT_EQ(picking::bannerIndex(m.get(), {50, 0, 0}), -1);
  EXPECT_EQ(picking::bannerIndex(m.get(), {2.2, 0.2, 0.09}), 1);
  EXPECT_EQ(picking::bannerIndex(m.get(), {2.25, 0.25, 0}), -1);
  // No coordinate limits.
  auto far = makeModel({{0, 1e6f, -3e5f, 0}, {0, -1000, 0, 0}});
  EXPECT_EQ(picking::hoverIndex(far.get(), {0, 1e6, -3e5}), 0);
  EXPECT_EQ(picking::bannerIndex(far.get(), {0, -1000.2, 0}), 1);
  EXPECT_EQ(picking::hoverIndex(nullptr, {0, 0, 0}), -1);
  auto empty = makeModel({});
  EXPECT_EQ(picking::hoverIndex(empty.get(), {0, 0, 0}), -1);
}

TEST(Picking, IndexFollowsAModelThatChanges) {
  std::vector<P> pts;
  for (int i = 0; i < 1000; ++i)
    pts.push_back({float(i % 10), float(i / 10), 0, 0});
  auto m = makeModel(pts);
  EXPECT_EQ(picking::nearestPoint(*m, {3, 4, 0}).index, 43);
  // Moved in place: the old index would still answer 43.
  Placement shift;
  shift.setTranslation({100, 0, 0});
  m->TransformModel(shift);
  EXPECT_EQ(picking::nearestPoint(*m, {3, 4, 0}).index, 40);
  EXPECT_EQ(picking::nearestPoint(*m, {103, 4, 0}).index, 43);

  // A new model in the storage of a destroyed one.
  std::optional<SessionModel> slot;
  slot.emplace();
  slot->pointCount = 2;
  slot->points.allocate(2);
  slot->points[0] = {0, 0, 0};
  slot->points[1] = {5, 0, 0};
  EXPECT_EQ(picking::nearestPoint(*slot, {4, 0, 0}).index, 1);
  slot.reset();
  slot.emplace();
  slot->pointCount = 2;
  slot->points.allocate(2);
  slot->points[0] = {5, 0, 0};
  slot->points[1] = {0, 0, 0};
  EXPECT_EQ(picking::nearestPoint(*slot, {4, 0, 0}).index, 0);
  picking::forgetModel(&*slot);
  // A point count below the array length limits the search.
  slot->pointCount = 1;
  EXPECT_EQ(picking::nearestPoint(*slot, {0, 0, 0}).index, 0);
}

TEST(Picking, LabelAnchorFromTheScreenAxes) {
  const Vec3d p{1, 2, 3};
  Vec3d a = picking::labelAnchor(p, kIdentity, 2.0);
  EXPECT_EQ(a, (Vec3d{301, 302, 3}));
  // Turned 90 degrees about z: screen right is world -y, screen up world +x.
  const std::array<double, 16> rz{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  a = picking::labelAnchor(p, rz, 1.0);
  EXPECT_NEAR(a.x, 151, 1e-12);
  EXPECT_NEAR(a.y, -148, 1e-12);
  // Scaled matrices give unit axes; zero axes stay zero.
  std::array<double, 16> scaled = kIdentity;
  scaled[0] = scaled[5] = 4;
  EXPECT_EQ(picking::labelAnchor(p, scaled, 1.0), (Vec3d{151, 152, 3}));
  std::array<double, 16> zero{};
  EXPECT_EQ(picking::labelAnchor(p, zero, 1.0), p);
}

TEST(Picking, ClickCreatesABannerWithTextColourAndLook) {
  ViewState v;
  v.viewWidth = 900;
  v.viewHeight = 600;
  v.distance = std::sqrt(900.0 * 900 + 600.0 * 600); // one unit per pixel
  auto m = makeModel({{0, 0, 0, 0.1f}, {10, 0, 0, 0.5f}, {20, 0, 0, -0.6f}});
  NodeList banners;
  auto *old = new BannerNode(&v, {}, {}, "old");
  old->setSelected(true);
  banners.append(old);

  const ColourScale scale(0.25f, -0.25f, 15, 0, false, true);
  BannerNode *b = picking::createBanner(&v, banners, m.get(), 1, kIdentity, 3, scale);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(old->isSelected());
  EXPECT_EQ(banners.tail(), b);
  EXPECT_EQ(b->lines().at(0), "0.500");
  EXPECT_EQ(b->point, (Vec3d{10, 0, 0}));
  EXPECT_NEAR(b->labelAnchor.x, 160, 1e-9);
  EXPECT_NEAR(b->labelAnchor.y, 150, 1e-9);
  const Colour want = ColourScale(0.25f, -0.25f, 15, 0, false, true).colourFor(0.5f);
  EXPECT_DOUBLE_EQ(b->red(), want.r);
  EXPECT_DOUBLE_EQ(b->green(), want.g);
  EXPECT_DOUBLE_EQ(b->blue(), want.b);
  EXPECT_TRUE(b->highlight);
  EXPECT_TRUE(b->tab);
  EXPECT_TRUE(b->labelPlaced);
  EXPECT_FALSE(b->separator);
  EXPECT_FALSE(b->isSelected());
  EXPECT_EQ(b->view(), &v);

  BannerNode *c = picking::createBanner(&v, banners, m.get(), 2, kIdentity, 0, scale);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->lines().at(0), "-1"); // rounded, no dangling point

  // Nothing picked (or a stale index): nothing new, but the selection is still cleared.
  b->setSelected(true);
  EXPECT_EQ(picking::createBanner(&v, banners, m.get(), -1, kIdentity, 3, scale), nullptr);
  EXPECT_FALSE(b->isSelected());
  EXPECT_EQ(picking::createBanner(&v, banners, m.get(), 3, kIdentity, 3, scale), nullptr);
  EXPECT_EQ(picking::createBanner(&v, banners, nullptr, 0, kIdentity, 3, scale), nullptr);
  EXPECT_EQ(banners.tail(), c);
}

namespace {
// A frame in which world coordinates are window pixels (depth 0.5 is z = 0), with the given
// pixels drawn, sampled around the cursor pixel (cx, cy).
picking::FrameSample frameAround(int cx, int cy, const std::vector<std::array<int, 2>> &drawn) {
  picking::FrameSample s;
  s.modelView = kIdentity;
  s.projection = windowOrthoMatrix();
  s.viewport = kViewport;
  s.cursorX = cx + 0.5;
  s.cursorY = cy + 0.5;
  s.x0 = cx - picking::kSnapPixels;
  s.y0 = cy - picking::kSnapPixels;
  s.width = s.height = 2 * picking::kSnapPixels + 1;
  s.depth.assign(std::size_t(s.width * s.height), 1.0f);
  for (const auto &p : drawn)
    s.depth[std::size_t((p[1] - s.y0) * s.width + (p[0] - s.x0))] = 0.5f;
  return s;
}
} // namespace

TEST(Picking, SnapsToThePointShownWithinEightPixels) {
  // The cursor's pixel centre is (100.5, 50.5); each point is drawn into the pixel below it.
  auto at75 = makeModel({{108.0f, 50.5f, 0, 0}});
  auto at85 = makeModel({{109.0f, 50.5f, 0, 0}});
  EXPECT_EQ(picking::snapIndex(*at75, frameAround(100, 50, {{107, 50}})), 0);
  EXPECT_EQ(picking::snapIndex(*at85, frameAround(100, 50, {{108, 50}})), -1);
  auto diagonal = makeModel({{106.5f, 56.5f, 0, 0}, {95.5f, 45.5f, 0, 0}}); // 8.49 and 7.07 px
  EXPECT_EQ(picking::snapIndex(*diagonal, frameAround(100, 50, {{106, 56}, {95, 45}})), 1);
  // Over the background between points, hover and click take the closest one shown (3 px
  // left, 2 px right); a point that no pixel shows (1 px right, hidden) is not taken.
  auto pair = makeModel({{97.5f, 50.5f, 0, 0.2f}, {102.5f, 50.5f, 0, 0.1f}, {101.5f, 50.5f, 9, 0}});
  const auto between = frameAround(100, 50, {{97, 50}, {102, 50}});
  EXPECT_EQ(picking::hoverPick(pair.get(), between), 1);
  EXPECT_EQ(picking::bannerPick(pair.get(), between), 1);
  // A coarse mesh: the cursor's pixel shows a face 20 pixels (and units) or more from its corners,
  // so neither rule holds for the click nor for hover (which shows only what a click pins); 5
  // pixels from a corner the click snaps to it.
  auto coarse = makeModel({{78.5f, 50.5f, 0, 0}, {120.5f, 50.5f, 0, 0}});
  std::vector<std::array<int, 2>> face;
  for (int y = 42; y <= 58; ++y)
    for (int x = 92; x <= 108; ++x)
      face.push_back({x, y});
  EXPECT_EQ(picking::bannerPick(coarse.get(), frameAround(100, 50, face)), -1);
  EXPECT_EQ(picking::hoverPick(coarse.get(), frameAround(100, 50, face)), -1);
  std::vector<std::array<int, 2>> nearCorner;
  for (int y = 42; y <= 58; ++y)
    for (int x = 107; x <= 121; ++x)
      nearCorner.push_back({x, y});
  EXPECT_EQ(picking::bannerPick(coarse.get(), frameAround(115, 50, nearCorner)), 1);
  // Nothing drawn around the cursor: nothing picked.
  EXPECT_EQ(picking::hoverPick(pair.get(), frameAround(300, 300, {})), -1);
}

TEST(Picking, LargeModelsAnswerFromTheScanUntilTheirIndexIsReady) {
  // Random points around the cursor's world point (100.5, 50.5, 0), in window units.
  const auto cloud = [](int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 200.0f), z(-0.3f, 0.3f);
    std::vector<P> pts(std::size_t(n), P{});
    for (P &p : pts)
      p = {u(rng), u(rng) * 0.5f, z(rng), 0};
    return makeModel(pts);
  };
  const auto onPoint = frameAround(100, 50, {{100, 50}});
  const auto offModel = frameAround(100, 50, {{104, 53}}); // only a pixel beside the cursor
  const Vec3d world{100.5, 50.5, 0};
  for (int n : {400000, 1200000}) {
    auto m = cloud(n, unsigned(n));
    const Vec3f *pts = m->points.data();
    double d = 0;
    const int scan = nearestPointLinear(pts, std::size_t(n), world, &d);
    // Straight after opening the index is still being built: hover scans the smaller model
    // and shows nothing on the larger; a click on a point is answered by the scan.
    const int hover = picking::hoverPick(m.get(), onPoint);
    EXPECT_TRUE(hover == scan || (hover == -1 && std::size_t(n) > picking::kScanHoverLimit));
    EXPECT_EQ(picking::bannerPick(m.get(), onPoint), d < picking::kBannerPickLimit ? scan : -1);
    const std::optional<int> early = picking::bannerPick(m.get(), offModel);
    const NearestPointIndex &index = picking::sharedIndex(*m);
    EXPECT_NE(picking::sharedLookup(*m).builtOn(), std::this_thread::get_id());
    EXPECT_EQ(index.nearest(world), scan);
    EXPECT_EQ(picking::hoverPick(m.get(), onPoint), scan);
    const int snapped = picking::snapIndex(*m, offModel);
    EXPECT_TRUE(!early || *early == snapped);
    EXPECT_EQ(picking::bannerPick(m.get(), offModel), snapped);
    picking::forgetModel(m.get());
  }
  // Closed while its index is being built: the build stops before the points go.
  auto closing = cloud(1200000, 5);
  EXPECT_EQ(picking::readyIndex(*closing), nullptr);
  picking::forgetModel(closing.get());
  closing.reset();
}

TEST(Picking, SingleSelectedBanner) {
  NodeList banners;
  auto *a = new BannerNode(nullptr, {}, {}, "a");
  auto *b = new BannerNode(nullptr, {}, {}, "b");
  banners.append(a);
  banners.append(b);
  EXPECT_EQ(picking::singleSelectedBanner(banners), nullptr);
  b->setSelected(true);
  EXPECT_EQ(picking::singleSelectedBanner(banners), b);
  a->setSelected(true);
  EXPECT_EQ(picking::singleSelectedBanner(banners), nullptr);
}

namespace {
// A banner for point (200, 200) with its box anchored at (300, 300), in window pixels.
struct DrawnBanner {
  BannerNode banner{&view(), {200, 200, 0}, {300, 300, 0}, "0.500"};
  DrawnBanner() {
    banner.highlight = true;
    banner.tab = true;
    banner.setColour(0, 0.8, 0);
  }
  Pixels draw() {
    beginPixelFrame();
    banner.draw(&view(), 0);
    return grab();
  }
};
bool isDarkText(const std::array<int, 3> &p) { return p[0] < 60 && p[1] < 60 && p[2] < 60; }
} // namespace

TEST(BannerBox, TheCalloutIdLeadsTheFirstLineAndWidensTheBox) {
  BannerNode b(nullptr, {}, {}, "0.500");
  EXPECT_EQ(b.shownLine(0), "0.500"); // outside a list: no id
  b.calloutId = "B12";
  EXPECT_EQ(b.shownLine(0), "B12 0.500");
  EXPECT_EQ(b.lines().at(0), "0.500"); // the text itself keeps the value alone
  EXPECT_EQ(b.labelChars(), 10);
}

namespace {
// Whether any two label boxes (with the tab beside them) overlap on screen.
bool labelsOverlap(const std::vector<BannerNode *> &labels, const std::array<double, 16> &mv,
                   double px) {
  const Vec3d right = picking::screenRight(mv), up = picking::screenUp(mv);
  for (std::size_t i = 0; i < labels.size(); ++i)
    for (std::size_t j = i + 1; j < labels.size(); ++j) {
      const Vec3d d = labels[i]->labelAnchor - labels[j]->labelAnchor;
      const double dx = std::abs(dot(d, right)) / px, dy = std::abs(dot(d, up)) / px;
      const BannerNode &a = *labels[i], &b = *labels[j];
      if (dx < std::max(a.labelWidth(), b.labelWidth()) + 10 &&
          dy < a.labelHalfHeight() + b.labelHalfHeight())
        return true;
    }
  return false;
}
} // namespace

TEST(LabelSpreading, HundredStackedOrRoundingLabelsEndApart) {
  // Rotated about z and x, so the screen axes are not the world axes.
  const double c = std::cos(0.7), s = std::sin(0.7), c2 = std::cos(0.3), s2 = std::sin(0.3);
  const std::array<double, 16> turned{c, s * c2, s * s2, 0, -s, c * c2, c * s2, 0,
                                      0, -s2,    c2,     0, 0,  0,      0,      1};
  for (const auto &mv : {kIdentity, turned})
    for (const double px : {0.1, 1.0 / 3.0, 0.7, 1e-7, 3e5}) {
      const Vec3d up = picking::screenUp(mv), right = picking::screenRight(mv);
      for (int pattern = 0; pattern < 3; ++pattern) {
        std::vector<std::unique_ptr<BannerNode>> owned;
        std::vector<BannerNode *> labels;
        for (int i = 0; i < 100; ++i) {
          // 0: all on one spot; 1: a row pitch apart times 0.1 steps (21 * 0.1 / 0.1 lands on
          // 20.999...); 2: two interleaved columns a little apart.
          const double k = pattern == 0 ? 0 : pattern == 1 ? 2.1 * i : 0.37 * (i % 7);
          const Vec3d anchor = Vec3d{1, 2, 3} + up * (k * px) + right * ((i % 2) * 3.3 * px);
          owned.push_back(
              std::make_unique<BannerNode>(nullptr, Vec3d{}, anchor, i % 3 ? "-0.125" : "12.500"));
          owned.back()->calloutId = "B" + std::to_string(i + 1);
          labels.push_back(owned.back().get());
        }
        picking::spreadLabels(labels, mv, px);
        EXPECT_FALSE(labelsOverlap(labels, mv, px)) << "pattern " << pattern << " px " << px;
      }
    }
}

TEST(BannerDrawing, BoxLeaderTabAndText) {
  view().display.bannerLineColour = static_cast<BannerLineColour>(0);
  DrawnBanner d;
  const Pixels f = d.draw();
  // The tab fills 300..310 left of the box, which spans 310..360 x 291..309.
  EXPECT_TRUE(near(f.at(307, 300), 0, 0.8, 0)) << f.at(307, 300)[1];
  EXPECT_TRUE(near(f.at(335, 309), 0, 0.8, 0));           // the thick top edge
  EXPECT_TRUE(near(f.at(357, 293), 1, 1, 0.9, 2));        // the light fill
  EXPECT_TRUE(near(f.at(250, 250), 0, 0.8, 0));           // the leader, in the banner colour
  EXPECT_GT(f.count(312, 292, 358, 308, isDarkText), 15); // dark text on the fill
  EXPECT_TRUE(near(f.at(150, 150), 0, 0, 0));             // nothing beyond the point
  EXPECT_TRUE(near(f.at(380, 300), 0, 0, 0));             // nor right of the box
  // State handed back as found, apart from lighting which the frame wants on.
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites);
  f.savePng(VELMORA_BINARY_DIR "/test_banners_box.png");
}

TEST(BannerDrawing, SelectedIsMagentaAndLeaderFollowsTheLineMode) {
  DrawnBanner d;
  d.banner.setSelected(true);
  view().display.bannerLineColour = static_cast<BannerLineColour>(2);
  Pixels f = d.draw();
  EXPECT_TRUE(near(f.at(307, 300), 1, 0, 1));
  EXPECT_TRUE(near(f.at(335, 309), 1, 0, 1));
  EXPECT_TRUE(near(f.at(250, 250), 0, 0, 0)); // black leader on black: nothing drawn there
  view().display.bannerLineColour = static_cast<BannerLineColour>(1);
  f = d.draw();
  EXPECT_TRUE(near(f.at(250, 250), 1, 1, 1));
  d.banner.setSelected(false);
  view().display.bannerLineColour = static_cast<BannerLineColour>(3);
  f = d.draw();
  EXPECT_TRUE(near(f.at(250, 250), 0, 0.8, 0));
  view().display.bannerLineColour = static_cast<BannerLineColour>(0);
}

TEST(BannerDrawing, LeftOfThePointAndWithoutHighlight) {
  DrawnBanner d;
  d.banner.point = {500, 200, 0};
  d.banner.highlight = false;
  const Pixels f = d.draw();
  // Box 300..350, tab 350..360 pointing at the leader's end.
  EXPECT_TRUE(near(f.at(353, 300), 0, 0.8, 0));
  EXPECT_TRUE(near(f.at(325, 309), 0, 0.8, 0));
  // Leader from (500, 200) to (360, 300).
  EXPECT_GT(
      f.count(428, 248, 433, 253, [](const std::array<int, 3> &p) { return near(p, 0, 0.8, 0); }),
      0);
  // No fill: white text on the black background.
  EXPECT_GT(f.count(302, 292, 348, 308,
                    [](const std::array<int, 3> &p) { return p[0] > 200 && p[2] > 200; }),
            15);
  EXPECT_EQ(f.count(302, 292, 348, 308,
                    [](const std::array<int, 3> &p) { return near(p, 1, 1, 0.9, 2); }),
            0);
}

TEST(BannerDrawing, HiddenOrForeignViewDrawsNothing) {
  DrawnBanner d;
  d.banner.visible = false;
  Pixels f = d.draw();
  EXPECT_EQ(f.count(0, 0, kWidth, kHeight,
                    [](const std::array<int, 3> &p) { return p[0] || p[1] || p[2]; }),
            0);
  d.banner.visible = true;
  ViewState other;
  BannerNode foreign(&other, {200, 200, 0}, {300, 300, 0}, "0.5");
  beginPixelFrame();
  foreign.draw(&view(), 0);
  f = grab();
  EXPECT_EQ(f.count(0, 0, kWidth, kHeight,
                    [](const std::array<int, 3> &p) { return p[0] || p[1] || p[2]; }),
            0);
}

TEST(PanelDrawing, TextsInTheirColourTopLeft) {
  beginPixelFrame();
  picking::drawPanel(view(), picking::hoverPanelTexts(1, 2, 3, 0.5, 3), 160, Colour{1, 0, 0});
  const Pixels f = grab();
  auto red = [](const std::array<int, 3> &p) { return p[0] > 200 && p[1] < 30 && p[2] < 30; };
  // Four rows of text at H-40, H-60, H-80, H-100.
  for (int row = 0; row < 4; ++row) {
    const int base = kHeight - 40 - 20 * row;
    EXPECT_GT(f.count(160, base - 3, 260, base + 12, red), 10) << "row " << row;
  }
  EXPECT_EQ(f.count(0, 0, 155, kHeight, red), 0);
  EXPECT_EQ(f.count(0, 0, kWidth, kHeight - 120, red), 0);
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
}

int main(int argc, char **argv) { return runAll(argc, argv); }
