// Placement transforms, the builder from two axes, and the frame from a direction.
#include "geometry/Placement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectNear(const Vec3d &a, const Vec3d &b, double eps = 1e-12) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

} // namespace

TEST(PlacementTransforms, IdentityAndTranslation) {
  const Placement id = Placement::identity();
  EXPECT_EQ(id.transformPoint({1, 2, 3}), (Vec3d{1, 2, 3}));
  EXPECT_EQ(id.translation(), (Vec3d{0, 0, 0}));
  const Placement::Matrix3 r = id.rotation();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_EQ(r[i][j], i == j ? 1.0 : 0.0);
}

TEST(PlacementTransforms, PointUsesRotationDirectionUsesTranspose) {
  Placement p;
  p.setRotation({{{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}});
  p.setTranslation({100, 200, 300});
  EXPECT_EQ(p.transformPoint({1, 0, 0}), (Vec3d{101, 204, 307}));
  EXPECT_EQ(p.transformDirection({1, 0, 0}), (Vec3d{101, 202, 303}));
  EXPECT_EQ(p.rotate({1, 0, 0}), (Vec3d{1, 4, 7}));
  Vec3d q{0, 1, 0};
  p.transformPointInPlace(q);
  EXPECT_EQ(q, (Vec3d{102, 205, 308}));
}

TEST(PlacementFromAxes, RightAngleGivesRowsAndOrigin) {
  Placement p;
  EXPECT_TRUE(p.setFromAxes({1, 2, 3}, {1, 0, 0}, {0, 1, 0}));
  EXPECT_EQ(p.rotation(), Placement::identity().rotation());
  EXPECT_EQ(p.translation(), (Vec3d{1, 2, 3}));
  EXPECT_EQ(p.transformPoint({1, 1, 1}), (Vec3d{2, 3, 4}));
}

TEST(PlacementFromAxes, AxesAreTakenWithoutNormalising) {
  Placement p;
  ASSERT_TRUE(p.setFromAxes({0, 0, 0}, {0, 2, 0}, {0, 0, 3}));
  const auto r = p.rotation();
  EXPECT_EQ(r[0][1], 2.0);
  EXPECT_EQ(r[1][2], 3.0);
  EXPECT_EQ(r[2][0], 6.0); // (0,2,0) x (0,0,3)
}

TEST(PlacementFromAxes, AcuteRefusedObtuseAccepted) {
  Placement p;
  p.setTranslation({7, 7, 7});
  const Placement before = p;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(p.setFromAxes({1, 1, 1}, {1, 0, 0}, {1, 1, 0}));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Die Vektoren sind nicht orthogonal zueinander!"), std::string::npos);
  EXPECT_EQ(p, before);
  EXPECT_TRUE(p.setFromAxes({1, 1, 1}, {1, 0, 0}, {-1, 1, 0}));
  EXPECT_EQ(p.translation(), (Vec3d{1, 1, 1}));
}

TEST(PlacementFromAxes, BoundsOfTheAcceptedCosine) {
  Placement p;
  testing::internal::CaptureStdout();
  // Anti-parallel and nearly so are refused; zero-length axes give no angle and are refused.
  EXPECT_FALSE(p.setFromAxes({}, {1, 0, 0}, {-1, 0, 0}));
  EXPECT_FALSE(p.setFromAxes({}, {1, 0, 0}, {-1, 1e-5, 0}));
  EXPECT_FALSE(p.setFromAxes({}, {0, 0, 0}, {0, 1, 0}));
  // A hair acute (cosine 1e-6) is refused; a hair obtuse is accepted.
  EXPECT_FALSE(p.setFromAxes({}, {1, 0, 0}, {1e-6, 1, 0}));
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(p.setFromAxes({}, {1, 0, 0}, {-1e-6, 1, 0}));
  EXPECT_TRUE(p.setFromAxes({}, {1, 0, 0}, {-1, 1e-3, 0}));
}

TEST(PlacementGl, ColumnMajorWithScale) {
  Placement p;
  p.setRotation({{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}});
  p.setTranslation({5, 6, 7});
  const auto m = p.glMatrix(2.0);
  // Row i of R is stored as column i.
  EXPECT_EQ(m[0], 0.0);
  EXPECT_EQ(m[1], -2.0);
  EXPECT_EQ(m[4], 2.0);
  EXPECT_EQ(m[10], 2.0);
  EXPECT_EQ(m[12], 5.0);
  EXPECT_EQ(m[14], 7.0);
  EXPECT_EQ(m[15], 1.0);
}

TEST(FrameFromDirection, ZeroAndShortDirectionsGiveIdentity) {
  const Frame id{Vec3d{1, 0, 0}, Vec3d{0, 1, 0}, Vec3d{0, 0, 1}};
  EXPECT_EQ(frameFromDirection({0, 0, 0}), id);
  EXPECT_EQ(frameFromDirection({1e-11, 0, 0}), id);
}

TEST(FrameFromDirection, AxisChoiceAndTies) {
  Frame f = frameFromDirection({0, 0, 2});
  EXPECT_EQ(f[2], (Vec3d{0, 0, 1}));
  EXPECT_EQ(f[0], (Vec3d{1, 0, 0}));
  EXPECT_EQ(f[1], (Vec3d{0, 1, 0}));
  // Along x, the smallest components y and z tie: z is the candidate, then y is taken only
  // when strictly smaller, so row 0 comes from z.
  f = frameFromDirection({3, 0, 0});
  EXPECT_EQ(f[2], (Vec3d{1, 0, 0}));
  expectNear(f[0], {0, 0, 1});
  // Direction (1, 1, 1): all tie, x wins.
  f = frameFromDirection({1, 1, 1});
  EXPECT_NEAR(f[0].x, 2 / std::sqrt(6.0), 1e-12);
}

TEST(FrameFromDirection, OrthonormalAndRightHandedEverywhere) {
  for (double a = -3; a <= 3; a += 0.75)
    for (double b = -3; b <= 3; b += 0.5)
      for (double c : {-2.0, -0.1, 0.0, 0.3, 5.0}) {
        const Vec3d d{a, b, c};
        if (length(d) <= 1e-10)
          continue;
        const Frame f = frameFromDirection(d);
        SCOPED_TRACE(testing::Message() << a << " " << b << " " << c);
        expectNear(f[2], normalised(d));
        for (int i = 0; i < 3; ++i) {
          EXPECT_NEAR(length(f[i]), 1.0, 1e-12);
          for (int j = i + 1; j < 3; ++j)
            EXPECT_NEAR(dot(f[i], f[j]), 0.0, 1e-12);
        }
        expectNear(cross(f[0], f[1]), f[2]);
      }
}
