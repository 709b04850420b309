// Vec3d and Vec3f arithmetic and the normalisation rules for short vectors.
#include "geometry/Vec3d.h"
#include "geometry/Vec3f.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Vec3dOps, ArithmeticDotAndCross) {
  const Vec3d a{1, 2, 3}, b{-4, 5, 0.5};
  EXPECT_EQ(a + b, (Vec3d{-3, 7, 3.5}));
  EXPECT_EQ(a * 2.0, (Vec3d{2, 4, 6}));
  EXPECT_EQ(dot(a, b), -4 + 10 + 1.5);
  EXPECT_EQ(cross(Vec3d{1, 0, 0}, Vec3d{0, 1, 0}), (Vec3d{0, 0, 1}));
  EXPECT_EQ(cross(Vec3d{0, 1, 0}, Vec3d{1, 0, 0}), (Vec3d{0, 0, -1}));
  // a x b is perpendicular to both and anti-commutes.
  const Vec3d c = cross(a, b);
  EXPECT_DOUBLE_EQ(dot(c, a), 0.0);
  EXPECT_DOUBLE_EQ(dot(c, b), 0.0);
  EXPECT_EQ(cross(b, a), c * -1.0);
  EXPECT_EQ(Vec3d(), (Vec3d{0, 0, 0}));
}

TEST(Vec3dOps, NormalisedKeepsZeroAndTinyVectors) {
  EXPECT_EQ(normalised(Vec3d{0, 0, 0}), (Vec3d{0, 0, 0}));
  const Vec3d n = normalised(Vec3d{0, 3, 4});
  EXPECT_DOUBLE_EQ(n.y, 0.6);
  EXPECT_DOUBLE_EQ(n.z, 0.8);
  // Only an exact zero length is special for normalised(): far below normaliseInto's
  // threshold it still scales to unit length...
  EXPECT_DOUBLE_EQ(normalised(Vec3d{1e-100, 0, 0}).x, 1.0);
  // ...until the squared length underflows to zero, and the vector comes back unchanged.
  EXPECT_EQ(normalised(Vec3d{1e-200, 0, 0}), (Vec3d{1e-200, 0, 0}));
}

TEST(Vec3dOps, NormaliseIntoHasAThreshold) {
  Vec3d out{9, 9, 9};
  normaliseInto(out, Vec3d{1e-11, 0, 0});
  EXPECT_EQ(out, (Vec3d{0, 0, 0}));
  normaliseInto(out, Vec3d{1e-9, 0, 0});
  EXPECT_DOUBLE_EQ(out.x, 1.0);
  EXPECT_EQ(out.y, 0.0);
  // dst may be src.
  Vec3d v{0, -2, 0};
  normaliseInto(v, v);
  EXPECT_EQ(v, (Vec3d{0, -1, 0}));
}

TEST(Vec3fOps, SinglePrecisionArithmetic) {
  const Vec3f a{1, 2, 3};
  EXPECT_EQ(a + Vec3f(0.5f, 0.5f, 0.5f), (Vec3f{1.5f, 2.5f, 3.5f}));
  EXPECT_EQ(a - Vec3f(1, 1, 1), (Vec3f{0, 1, 2}));
  EXPECT_EQ(a * 0.5f, (Vec3f{0.5f, 1, 1.5f}));
  EXPECT_EQ(normalised(Vec3f{0, 0, 0}), (Vec3f{0, 0, 0}));
  EXPECT_EQ(normalised(Vec3f{3, 0, 4}), (Vec3f{0.6f, 0, 0.8f}));
  const Vec3f n = normalised(Vec3f{1e-20f, 1e-20f, 0});
  // Squares underflow to 0 in single precision: the zero vector, not a division by zero.
  EXPECT_FALSE(std::isnan(n.x));
}
