#include "analysis/SectionCutter.h"
#include "analysis/SectionPlane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

// A mesh owned by the test, viewed as the cutter's plain arrays.
struct Mesh {
  std::vector<Vec3f> pts;
  std::vector<Triangle> tris;
  std::vector<float> dev;

  int add(float x, float y, float z) {
    pts.push_back({x, y, z});
    dev.push_back(static_cast<float>(dev.size() % 13) * 0.05f - 0.3f);
    return static_cast<int>(pts.size() - 1);
  }
  void tri(int a, int b, int c) { tris.push_back({a, b, c}); }
  SectionMesh view() const {
    return {pts.data(), pts.size(), tris.data(), tris.size(), dev.data()};
  }
};

// A closed tube around the z axis through (cx, cy): n points per ring, m rings.
void addCylinder(Mesh &m, float cx, float cy, float r, float z0, float z1, int n, int rings) {
  const int first = static_cast<int>(m.pts.size());
  for (int j = 0; j < rings; ++j)
    for (int i = 0; i < n; ++i) {
      const double a = 2 * std::numbers::pi * i / n;
      m.add(cx + r * static_cast<float>(std::cos(a)), cy + r * static_cast<float>(std::sin(a)),
            z0 + (z1 - z0) * static_cast<float>(j) / static_cast<float>(rings - 1));
    }
  for (int j = 0; j + 1 < rings; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = first + j * n + i, b = first + j * n + (i + 1) % n;
      m.tri(a, b, a + n);
      m.tri(b, b + n, a + n);
    }
}

// A latitude-longitude sphere.
void addSphere(Mesh &m, float cx, float cy, float cz, float r, int slices, int stacks) {
  const int first = static_cast<int>(m.pts.size());
  for (int j = 0; j <= stacks; ++j)
    for (int i = 0; i < slices; ++i) {
      const double th = std::numbers::pi * j / stacks, ph = 2 * std::numbers::pi * i / slices;
      m.add(cx + r * static_cast<float>(std::sin(th) * std::cos(ph)),
            cy + r * static_cast<float>(std::sin(th) * std::sin(ph)),
            cz + r * static_cast<float>(std::cos(th)));
    }
  for (int j = 0; j < stacks; ++j)
    for (int i = 0; i < slices; ++i) {
      const int a = first + j * slices + i, b = first + j * slices + (i + 1) % slices;
      m.tri(a, b, a + slices);
      m.tri(b, b + slices, a + slices);
    }
}

const ColourScale kScale(0.25f, -0.25f, 15, 0, false, false);

void expectSameResult(const SectionResult &fast, const SectionResult &ref) {
  ASSERT_EQ(fast.segmentCount, ref.segmentCount);
  ASSERT_EQ(fast.points.size(), ref.points.size());
  for (std::size_t i = 0; i < ref.points.size(); ++i) {
    ASSERT_EQ(fast.points[i], ref.points[i]) << "sample " << i;
    ASSERT_EQ(fast.nearestIndex[i], ref.nearestIndex[i]) << "sample " << i;
    ASSERT_EQ(fast.deviations[i], ref.deviations[i]);
    ASSERT_EQ(fast.colours[i], ref.colours[i]);
  }
  EXPECT_EQ(fast.capacityReached, ref.capacityReached);
}

} // namespace

TEST(SectionPlane, CornersWidenTheBoxAwayFromZeroAndFollowTheRecord) {
  EXPECT_EQ(widenAwayFromZero(-10), -11.5);
  EXPECT_EQ(widenAwayFromZero(10), 11.5);
  EXPECT_EQ(widenAwayFromZero(20), 21.5);
  EXPECT_EQ(widenAwayFromZero(0), -1.5);

  const Vec3d lo{-10, 10, -3}, hi{10, 20, 5}, p{1, 2, 3};
  const auto xy = sectionPlaneCorners(*axisRecordFromName("X/Y"), p, lo, hi);
  EXPECT_EQ(xy[0], (Vec3d{-11.5, 11.5, 3}));
  EXPECT_EQ(xy[1], (Vec3d{11.5, 11.5, 3}));
  EXPECT_EQ(xy[2], (Vec3d{11.5, 21.5, 3}));
  EXPECT_EQ(xy[3], (Vec3d{-11.5, 21.5, 3}));
  const auto yz = sectionPlaneCorners(*axisRecordFromName("Y/Z"), p, lo, hi);
  EXPECT_EQ(yz[0], (Vec3d{1, 11.5, -4.5}));
  EXPECT_EQ(yz[2], (Vec3d{1, 21.5, 6.5}));
  const auto xz = sectionPlaneCorners(*axisRecordFromName("X/Z"), p, lo, hi);
  EXPECT_EQ(xz[1], (Vec3d{11.5, 2, -4.5}));
  EXPECT_EQ(xz[3], (Vec3d{-11.5, 2, 6.5}));

  EXPECT_EQ(axisRecordFromName("X/Y")->normal(), (std::array<int, 3>{0, 0, 1}));
  EXPECT_EQ(axisRecordFromName("Y/Z")->normal(), (std::array<int, 3>{1, 0, 0}));
  EXPECT_EQ(axisRecordFromName("X/Z")->normal(), (std::array<int, 3>{0, 1, 0}));
  EXPECT_FALSE(axisRecordFromName("Z/X").has_value());
  EXPECT_FALSE(axisRecordFromName("x/y").has_value());
}

TEST(SectionCutter, TriangleCutsAndVerticesOnThePlane) {
  const SectionCutter cutter;
  const std::array<int, 3> nz{0, 0, 1};
  Mesh m;
  const int a = m.add(0, 0, -1), b = m.add(1, 0, 1), c = m.add(0, 1, 1);
  m.tri(a, b, c);
  auto segs = cutter.cutSegments(m.view(), nz, {5, 5, 0});
  ASSERT_EQ(segs.size(), 1u);
  // Edges are tried A-B, A-C, B-C: the first point lies on A-B.
  EXPECT_EQ(segs[0].start, (Vec3d{0.5, 0, 0}));
  EXPECT_EQ(segs[0].end, (Vec3d{0, 0.5, 0}));

  // One corner on the plane, the others on opposite sides: three points, no segment.
  Mesh on;
  on.tri(on.add(0, 0, 0), on.add(1, 0, 1), on.add(0, 1, -1));
  EXPECT_TRUE(cutter.cutSegments(on.view(), nz, {0, 0, 0}).empty());
  // Corners on the plane with the rest on one side touch it without crossing.
  Mesh touch;
  touch.tri(touch.add(0, 0, 0), touch.add(1, 0, 0), touch.add(0, 1, 2));
  touch.tri(touch.add(0, 0, 0), touch.add(1, 0, -1), touch.add(0, 1, -2));
  EXPECT_TRUE(cutter.cutSegments(touch.view(), nz, {0, 0, 0}).empty());

  // Indices outside the points and non-finite corners are skipped instead of read.
  Mesh bad;
  bad.add(0, 0, -1);
  bad.add(1, 0, 1);
  bad.add(std::numeric_limits<float>::quiet_NaN(), 0, 1);
  bad.tri(0, 1, 7);
  bad.tri(0, 1, -1);
  bad.tri(0, 1, 2);
  EXPECT_TRUE(cutter.cutSegments(bad.view(), nz, {0, 0, 0}).empty());
}

TEST(SectionCutter, AxisNormalsMatchTheGeneralPlaneTest) {
  // A doubled normal scales every plane distance by an exact power of two, so it must give the
  // very same segments as the unit normal, which takes a shortcut through one coordinate.
  Mesh m;
  const int n = 40;
  for (int y = 0; y <= n; ++y)
    for (int x = 0; x <= n; ++x)
      m.add(x * 0.5f, y * 0.5f, std::round(std::sin(x * 0.4f) * std::cos(y * 0.3f) * 4) / 4);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const int a = y * (n + 1) + x;
      m.tri(a, a + 1, a + n + 1);
      m.tri(a + 1, a + n + 2, a + n + 1);
    }
  m.pts[77].x = std::numeric_limits<float>::infinity();
  m.pts[301].z = std::numeric_limits<float>::quiet_NaN();
  const SectionCutter cutter;
  for (int k = 0; k < 3; ++k)
    for (double at : {0.0, 0.25, 3.5, 7.1}) {
      std::array<int, 3> unit{0, 0, 0}, twice{0, 0, 0};
      unit[static_cast<std::size_t>(k)] = 1;
      twice[static_cast<std::size_t>(k)] = 2;
      const Vec3d p{at, at, at};
      const auto a = cutter.cutSegments(m.view(), unit, p);
      EXPECT_EQ(a, cutter.cutSegments(m.view(), twice, p)) << "axis " << k << " at " << at;
      if ((k < 2 && at == 7.1) || (k == 2 && at == 0.25)) {
        EXPECT_FALSE(a.empty());
      }
    }
}

TEST(SectionCutter, EmptySections) {
  const SectionCutter cutter;
  Mesh m;
  addCylinder(m, 0, 0, 5, -2, 2, 24, 5);
  Mesh noTriangles = m;
  noTriangles.tris.clear();
  EXPECT_TRUE(cutter.cut(noTriangles.view(), {0, 0, 1}, {0, 0, 0}, kScale).points.empty());
  // A plane beside the model.
  const SectionResult miss = cutter.cut(m.view(), {0, 0, 1}, {0, 0, 7}, kScale);
  EXPECT_TRUE(miss.points.empty());
  EXPECT_EQ(miss.segmentCount, 0u);
  EXPECT_TRUE(cutter.cut(SectionMesh{}, {1, 0, 0}, {0, 0, 0}, kScale).points.empty());
}

TEST(SectionCutter, CylinderSectionLiesOnPlaneAndSurface) {
  const float r = 5;
  const int n = 360;
  Mesh m;
  addCylinder(m, 1, 2, r, -3, 3, n, 7);
  const SectionCutter cutter;
  const double z = 0.37;
  const SectionResult s = cutter.cut(m.view(), {0, 0, 1}, {0, 0, z}, kScale);
  EXPECT_EQ(s.segmentCount, 2u * n);
  // One sample per segment at least; the ring closes with tiny gaps only.
  ASSERT_GE(s.points.size(), 2u * n);
  ASSERT_LE(s.points.size(), 2u * n + 2u * n);
  const double sag = r * (1 - std::cos(std::numbers::pi / n));
  for (std::size_t i = 0; i < s.points.size(); ++i) {
    const Vec3d &p = s.points[i];
    EXPECT_NEAR(p.z, z, 1e-9);
    // Samples sit a step or less from the chord, never beyond the carry behind a segment.
    const double rad = std::hypot(p.x - 1, p.y - 2);
    EXPECT_LE(rad, r + 1e-5);
    EXPECT_GE(rad, r - sag - 1e-5);
    // Colours and deviations belong to the nearest measured point.
    const int k = nearestPointLinear(m.pts.data(), m.pts.size(), p);
    EXPECT_EQ(s.nearestIndex[i], k);
    EXPECT_EQ(s.deviations[i], m.dev[static_cast<std::size_t>(k)]);
    EXPECT_EQ(s.colours[i], kScale.colourFor(m.dev[static_cast<std::size_t>(k)]));
  }
  // The chain walks round the ring: consecutive samples stay close together.
  for (std::size_t i = 1; i < s.points.size(); ++i)
    EXPECT_LT(std::hypot(s.points[i].x - s.points[i - 1].x, s.points[i].y - s.points[i - 1].y),
              0.2);
}

TEST(SectionCutter, SphereSectionThroughItsMiddle) {
  Mesh m;
  const float r = 10;
  addSphere(m, 0, 0, 0, r, 120, 61);
  const SectionCutter cutter;
  for (const char *plane : {"X/Y", "Y/Z", "X/Z"}) {
    const AxisRecord rec = *axisRecordFromName(plane);
    const std::array<int, 3> nrm = rec.normal();
    const SectionResult s = cutter.cut(m.view(), nrm, {0.01, 0.02, 0.03}, kScale);
    ASSERT_GT(s.points.size(), 100u) << plane;
    for (const Vec3d &p : s.points) {
      const double off = nrm[0] * (p.x - 0.01) + nrm[1] * (p.y - 0.02) + nrm[2] * (p.z - 0.03);
      EXPECT_NEAR(off, 0, 1e-9);
      const double rad = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
      EXPECT_NEAR(rad, r, 0.05) << plane;
    }
  }
}

TEST(SectionCutter, SeparateLoopsAreJoinedIntoOneChain) {
  Mesh m;
  addCylinder(m, 0, 0, 2, -1, 1, 64, 3);
  addCylinder(m, 20, 0, 3, -1, 1, 64, 3);
  const SectionResult s = SectionCutter().cut(m.view(), {0, 0, 1}, {0, 0, 0.25}, kScale);
  ASSERT_FALSE(s.points.empty());
  // Segment 0 belongs to the first tube: its loop comes first, then one jump to the other.
  int switches = 0;
  for (std::size_t i = 1; i < s.points.size(); ++i)
    switches += (s.points[i].x > 10) != (s.points[i - 1].x > 10);
  EXPECT_LT(s.points.front().x, 10);
  EXPECT_EQ(switches, 1);
  EXPECT_GT(s.points.back().x, 10);
}

TEST(SectionCutter, CapacityKeepsTheFirstSegments) {
  // Thin slivers crossing z = 0, every third one lying wholly above the plane.
  Mesh m;
  const int total = 1500000;
  m.pts.reserve(3u * total);
  for (int i = 0; i < total; ++i) {
    const float x = static_cast<float>(i) * 1e-3f;
    const float lift = i % 3 == 2 ? 5.0f : 0.0f;
    const int a = m.add(x, 0, -1 + lift), b = m.add(x, 1, 1 + lift), c = m.add(x + 5e-4f, 0, 1);
    m.tri(a, b, c);
  }
  const SectionCutter cutter;
  bool full = false;
  const auto segs = cutter.cutSegments(m.view(), {0, 0, 1}, {0, 0, 0}, &full);
  ASSERT_EQ(segs.size(), SectionCutter::kCapacity);
  EXPECT_TRUE(full);
  // The kept segments are those of the first crossing triangles, in order.
  const SectionCutter bigger(2 * SectionCutter::kCapacity);
  bool fullBigger = true;
  const auto all = bigger.cutSegments(m.view(), {0, 0, 1}, {0, 0, 0}, &fullBigger);
  EXPECT_FALSE(fullBigger);
  ASSERT_GT(all.size(), segs.size());
  EXPECT_TRUE(std::equal(segs.begin(), segs.end(), all.begin()));
  // Exactly at the capacity nothing was dropped.
  const SectionCutter exact(all.size());
  bool fullExact = true;
  EXPECT_EQ(exact.cutSegments(m.view(), {0, 0, 1}, {0, 0, 0}, &fullExact).size(), all.size());
  EXPECT_FALSE(fullExact);
}

TEST(SectionChaining, TiesPickLowerIndexAndStartBeforeEnd) {
  // From the end of segment 0 at the origin, segment 1's end and segment 2's start are both at
  // distance 1: segment 1 wins and is walked backwards.
  std::vector<SectionSegment> s = {
      {{-1, 0, 0}, {0, 0, 0}}, {{5, 5, 0}, {1, 0, 0}}, {{0, 1, 0}, {3, 3, 0}}};
  auto c = chainSegmentsReference(s);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[1].start, (Vec3d{1, 0, 0}));
  EXPECT_EQ(c[1].end, (Vec3d{5, 5, 0}));
  EXPECT_EQ(chainSegments(s), c);

  // Both ends of one segment equally far: its start comes first, so it keeps its orientation.
  s = {{{0, 0, 0}, {0, 0, 1}}, {{1, 0, 1}, {-1, 0, 1}}};
  c = chainSegmentsReference(s);
  EXPECT_EQ(c[1], s[1]);
  EXPECT_EQ(chainSegments(s), c);

  // Nearer in double but equal in single precision: the lower index wins all the same.
  s = {{{0, 0, 0}, {0, 0, 0}}, {{7, 7, 7}, {1 + 1e-12, 0, 0}}, {{1, 0, 0}, {9, 9, 9}}};
  ASSERT_EQ(chainDistance({0, 0, 0}, {1 + 1e-12, 0, 0}), chainDistance({0, 0, 0}, {1, 0, 0}));
  c = chainSegmentsReference(s);
  EXPECT_EQ(c[1].start, (Vec3d{1 + 1e-12, 0, 0}));
  EXPECT_EQ(chainSegments(s), c);
  EXPECT_TRUE(chainSegments({}).empty());
}

TEST(SectionChaining, FastEqualsReferenceOnAdversarialSegments) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 6; ++round) {
    std::vector<SectionSegment> s;
    // End points on a coarse lattice: many shared end points and equal distances.
    std::uniform_int_distribution<int> g(-6, 6);
    for (int i = 0; i < 1500; ++i)
      s.push_back({{double(g(rng)), double(g(rng)), 0}, {double(g(rng)), double(g(rng)), 0}});
    // Clusters far apart, so the chain must jump between them.
    std::uniform_real_distribution<double> u(0, 1);
    for (int i = 0; i < 1500; ++i) {
      const double cx = 1000.0 * (i % 7), cy = -500.0 * (i % 3);
      s.push_back({{cx + u(rng), cy + u(rng), u(rng)}, {cx + u(rng), cy + u(rng), u(rng)}});
    }
    // Zero-length segments and exact duplicates.
    for (int i = 0; i < 200; ++i) {
      const Vec3d p{double(g(rng)), 0.5, double(g(rng))};
      s.push_back({p, p});
      s.push_back(s[static_cast<std::size_t>(i * 3)]);
    }
    std::shuffle(s.begin() + 1, s.end(), rng);
    ASSERT_EQ(chainSegments(s), chainSegmentsReference(s)) << "round " << round;
  }
}

TEST(SectionCutter, FastEqualsReferenceOnMeshes) {
  const SectionCutter cutter;
  // Many small separate loops: a field of spheres cut through their middles.
  Mesh spheres;
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 6; ++i)
      addSphere(spheres, i * 3.0f, j * 3.0f, 0, 1.0f, 24, 13);
  expectSameResult(cutter.cut(spheres.view(), {0, 0, 1}, {0, 0, 0.1}, kScale),
                   cutter.cutReference(spheres.view(), {0, 0, 1}, {0, 0, 0.1}, kScale));
  // A regular grid cut along a grid line: corners on the plane, equal distances everywhere.
  Mesh grid;
  const int n = 60;
  for (int y = 0; y <= n; ++y)
    for (int x = 0; x <= n; ++x)
      grid.add(x * 0.25f, y * 0.25f, std::sin(x * 0.3f) * std::cos(y * 0.2f));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const int a = y * (n + 1) + x;
      grid.tri(a, a + 1, a + n + 1);
      grid.tri(a + 1, a + n + 2, a + n + 1);
    }
  for (const auto &[nrm, p] :
       std::vector<std::pair<std::array<int, 3>, Vec3d>>{{{0, 0, 1}, {0, 0, 0}},
                                                         {{0, 0, 1}, {0, 0, 0.35}},
                                                         {{1, 0, 0}, {5, 0, 0}},
                                                         {{0, 1, 0}, {0, 7.125, 0}}}) {
    expectSameResult(cutter.cut(grid.view(), nrm, p, kScale),
                     cutter.cutReference(grid.view(), nrm, p, kScale));
  }
  // A random triangle soup straddling the plane.
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> u(-3, 3);
  Mesh soup;
  for (int i = 0; i < 3000; ++i) {
    const int a = soup.add(u(rng), u(rng), u(rng));
    soup.tri(a, soup.add(u(rng), u(rng), u(rng)), soup.add(u(rng), u(rng), u(rng)));
  }
  expectSameResult(cutter.cut(soup.view(), {0, 1, 0}, {0, 0.5, 0}, kScale),
                   cutter.cutReference(soup.view(), {0, 1, 0}, {0, 0.5, 0}, kScale));
}

TEST(SectionSampling, StepsGapsAndLongSegments) {
  // One ordinary segment gives one point a step along it.
  auto pts = SectionCutter::sample({{{0, 0, 0}, {0.5, 0, 0}}});
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_DOUBLE_EQ(pts[0].x, SectionCutter::kStep);

  // A small gap is filled at the step along the gap direction.
  pts = SectionCutter::sample({{{0, 0, 0}, {0.5, 0, 0}}, {{0.5, 0.0055, 0}, {0.5, 1, 0}}});
  ASSERT_GE(pts.size(), 6u);
  for (std::size_t i = 1; i + 1 < pts.size(); ++i) {
    EXPECT_DOUBLE_EQ(pts[i].x, 0.5);
    EXPECT_NEAR(pts[i].y - pts[i - 1].y, i == 1 ? pts[1].y : SectionCutter::kStep, 1e-12);
  }
  EXPECT_LE(pts[pts.size() - 2].y, 0.0055);

  // A gap beyond the limit is jumped; the next point then lies behind the next segment's
  // start by the limit less one step.
  pts = SectionCutter::sample({{{0, 0, 0}, {0.5, 0, 0}}, {{3, 0, 0}, {4, 0, 0}}});
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_NEAR(pts[1].x, 3 - double(SectionCutter::kGapLimit) + SectionCutter::kStep, 1e-12);

  // A segment of 1.5 m is sampled at every step along its length instead of once.
  pts = SectionCutter::sample({{{0, 0, 0}, {0, 0, 1500}}});
  ASSERT_NEAR(static_cast<double>(pts.size()), 1500000.0, 1.0);
  EXPECT_NEAR(pts.back().z, 1500, 1e-3);
  for (std::size_t i = 1; i < pts.size(); i += 9973)
    EXPECT_NEAR(pts[i].z - pts[i - 1].z, SectionCutter::kStep, 1e-9);

  // A degenerate giant does not exhaust memory.
  bool limit = false;
  pts = SectionCutter::sample({{{0, 0, 0}, {1e30, 0, 0}}}, &limit, 5000);
  EXPECT_TRUE(limit);
  EXPECT_EQ(pts.size(), 5000u);
  // Its carry is meaningless afterwards; a following small gap must not loop on it.
  pts = SectionCutter::sample({{{0, 0, 0}, {1e30, 0, 0}}, {{1e30, 0.005, 0}, {1e30, 1, 0}}}, &limit,
                              5000);
  EXPECT_LE(pts.size(), 5000u);
}
