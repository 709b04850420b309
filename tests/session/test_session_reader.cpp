// The binary session reader: header variants, block layout, and every refusal of a file
// that does not hold what its header announces.
#include "SessionTestFiles.h"
#include "session/LargeBlock.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

// The largest single allocation since the last reset: shows that a forged count is refused
// before anything of its size is allocated.
static std::atomic<std::size_t> gLargestAllocation{0};

static void *countedAlloc(std::size_t n) {
  std::size_t prev = gLargestAllocation.load();
  while (n > prev && !gLargestAllocation.compare_exchange_weak(prev, n)) {
  }
  if (void *p = std::malloc(n ? n : 1))
    return p;
  throw std::bad_alloc();
}
void *operator new(std::size_t n) { return countedAlloc(n); }
void *operator new[](std::size_t n) { return countedAlloc(n); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

using testfiles::SessionBytes;
using testfiles::validSession;
using testfiles::writeFile;

namespace {

SessionModel readModel(const std::string &path, bool expectOk = true) {
  SessionModel m;
  m.SetPath(path.c_str());
  EXPECT_EQ(m.ReadSessionFile(), expectOk) << m.error();
  return m;
}

// A model filled from a known good file, to check that refusals leave it untouched.
void expectIsThreePointModel(const SessionModel &m) {
  ASSERT_EQ(m.pointCount, 3);
  ASSERT_TRUE(m.points.present());
  EXPECT_EQ(m.points.size(), 3u);
  EXPECT_EQ(m.points[2], (Vec3f{2, 4, 6}));
  EXPECT_EQ(m.triangleCount, 1);
  EXPECT_TRUE(m.hasTriangles());
  EXPECT_FLOAT_EQ(m.deviations[1], 0.1f);
}

} // namespace

TEST(SessionReaderLayout, BlocksLandInTheirArrays) {
  SessionBytes s;
  s.header(0, 3, 1, 0);
  s.vec(1, 2, 3).vec(4, 5, 6).vec(7, 8, 9);
  s.vec(0, 0, 1).vec(0, 1, 0).vec(1, 0, 0);
  s.f32(0.5f).f32(-0.25f).f32(0.125f);
  s.tri(2, 0, 1, 7);
  const SessionModel m = readModel(writeFile("a.ses", s));
  ASSERT_EQ(m.pointCount, 3);
  EXPECT_EQ(m.points[0], (Vec3f{1, 2, 3}));
  EXPECT_EQ(m.points[2], (Vec3f{7, 8, 9}));
  EXPECT_EQ(m.normals[1], (Vec3f{0, 1, 0}));
  EXPECT_EQ(m.deviations[1], -0.25f);
  EXPECT_EQ(m.deviations[2], 0.125f);
  ASSERT_EQ(m.triangleCount, 1);
  EXPECT_EQ(m.triangles[0].a, 2);
  EXPECT_EQ(m.triangles[0].c, 1);
  EXPECT_EQ(m.normalIndexOf(0), 7);
  EXPECT_FALSE(m.hasNominalPoints());
  // The binary reader leaves these to the load step.
  EXPECT_EQ(m.deviationMode, 0);
  EXPECT_FALSE(m.pointStatus.present());
  EXPECT_FALSE(m.triangleNormals.present());
  EXPECT_TRUE(m.error().empty());
}

TEST(SessionReaderLayout, FormatWordSixteenAddsNominalBlock) {
  const SessionModel with = readModel(writeFile("16.ses", validSession(16, 4, 2)));
  ASSERT_TRUE(with.hasNominalPoints());
  EXPECT_EQ(with.nominalPoints.size(), 4u);
  EXPECT_EQ(with.nominalPoints[3], (Vec3f{3, 6, 8}));
  EXPECT_EQ(validSession(16, 4, 2).bytes.size(), validSession(0, 4, 2).bytes.size() + 12 * 4);
  for (int format : {0, 15, 17, -16, 1 << 20}) {
    SCOPED_TRACE(format);
    const SessionModel m = readModel(writeFile("other.ses", validSession(format, 4, 2)));
    EXPECT_FALSE(m.hasNominalPoints());
    EXPECT_EQ(m.pointCount, 4);
    EXPECT_EQ(m.triangleCount, 2);
  }
}

TEST(SessionReaderLayout, LargeBlocksLandInMappedArraysAndAreReturned) {
  // 12 bytes x 400,000 points: every Vec3f array is a mapped block of its own, and so are the
  // 12-byte triangles (the 1.6 MB of deviations stay on the heap).
  const int n = 400000, t = 400000;
  const std::size_t before = largeblock::mappedBytes();
  {
    const SessionModel m = readModel(writeFile("large.ses", validSession(16, n, t)));
    ASSERT_EQ(m.pointCount, n);
    for (int i : {0, 1, 174762, 174763, n - 1}) { // around the first 2 MiB boundary, and last
      EXPECT_EQ(m.points[std::size_t(i)], (Vec3f{float(i), float(2 * i), float(3 * i)}));
      EXPECT_EQ(m.nominalPoints[std::size_t(i)], (Vec3f{float(i), float(2 * i), float(3 * i - 1)}));
      EXPECT_EQ(m.deviations[std::size_t(i)], float(i) / 10.0f);
    }
    EXPECT_EQ(m.normalIndexOf(std::size_t(t - 1)), t - 1);
    EXPECT_FALSE(m.triangleNormalIndices.present()); // each is its position
#ifndef __SANITIZE_ADDRESS__
    EXPECT_GE(largeblock::mappedBytes() - before,
              std::size_t(n) * 36 + std::size_t(t) * sizeof(Triangle));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m.points.data()) % (std::size_t{2} << 20), 0u);
#endif
  }
  EXPECT_EQ(largeblock::mappedBytes(), before);
  // Moving hands the block over; the moved-from array is absent.
  PodArray<float> a(std::size_t{2} << 20), b;
  a[5] = 1.5f;
  b = std::move(a);
  EXPECT_FALSE(a.present());
  EXPECT_EQ(b[5], 1.5f);
}

TEST(SessionReaderLayout, NormalIndicesAreHeldOnlyWhenOneDiffersFromItsPosition) {
  // More records than a few reads take, with corners that vary, so that a split that slips
  // at a piece boundary shows.
  const std::size_t piece = SessionModel::kTrianglesPerRead, t = 3 * piece + 5;
  const auto corner = [](std::size_t k, std::size_t c) { return std::int32_t((k + c) % 3); };
  for (const bool differing : {false, true}) {
    SCOPED_TRACE(differing);
    // From inside the second piece on: one in the middle, a negative one opening the third
    // piece, the last out of range; the rest keep their positions.
    const auto normalOf = [&](std::size_t k) {
      const bool set = differing && (k == piece + 3 || k == 2 * piece || k == t - 1);
      return !set ? std::int32_t(k) : k == piece + 3 ? 7 : k == 2 * piece ? -4 : INT32_MAX;
    };
    SessionBytes s;
    s.header(0, 3, std::int32_t(t));
    s.vec(0, 0, 0).vec(1, 0, 0).vec(0, 1, 0).vec(0, 0, 1).vec(0, 0, 1).vec(0, 0, 1);
    s.f32(0).f32(0).f32(0);
    for (std::size_t k = 0; k < t; ++k)
      s.tri(corner(k, 0), corner(k, 1), corner(k, 2), normalOf(k));
    const SessionModel m = readModel(writeFile("normals.ses", s));
    EXPECT_EQ(m.triangleNormalIndices.present(), differing);
    ASSERT_EQ(m.triangles.size(), t);
    for (std::size_t k = 0; k < t; ++k) {
      const Triangle &r = m.triangles[k];
      ASSERT_TRUE(r.a == corner(k, 0) && r.b == corner(k, 1) && r.c == corner(k, 2)) << k;
      ASSERT_EQ(m.normalIndexOf(k), normalOf(k)) << k;
    }
  }
}

TEST(SessionReaderLayout, NegativeTriangleCountMeansNoTriangleBlock) {
  // The nominal block follows the deviations directly.
  const SessionModel m = readModel(writeFile("t-1.ses", validSession(16, 3, -1)));
  EXPECT_EQ(m.triangleCount, -1);
  EXPECT_FALSE(m.hasTriangles());
  EXPECT_FALSE(m.triangles.present());
  ASSERT_TRUE(m.hasNominalPoints());
  EXPECT_EQ(m.nominalPoints[0], (Vec3f{0, 0, -1}));
  EXPECT_EQ(m.nominalPoints[2], (Vec3f{2, 4, 5}));
  const SessionModel big = readModel(writeFile("tmin.ses", validSession(0, 3, INT32_MIN)));
  EXPECT_FALSE(big.hasTriangles());
}

TEST(SessionReaderLayout, ReservedWordAndTrailingBytesAreIgnored) {
  for (std::int32_t reserved : {0, -1, 12345, INT32_MAX}) {
    SessionBytes s = validSession(16, 3, 1, reserved);
    s.bytes.insert(s.bytes.end(), 37, '\x7f');
    const SessionModel m = readModel(writeFile("r.ses", s));
    EXPECT_EQ(m.pointCount, 3);
    EXPECT_EQ(m.nominalPoints[1], (Vec3f{1, 2, 2}));
    EXPECT_EQ(m.extraBytes, 37u); // ignored, but counted for --info
  }
  EXPECT_EQ(readModel(writeFile("exact.ses", validSession(16, 3, 1))).extraBytes, 0u);
}

TEST(SessionReaderLayout, HeaderOnlyFileIsAnEmptyModel) {
  SessionModel m = readModel(writeFile("empty.ses", validSession(0, 0, 0)));
  EXPECT_EQ(m.pointCount, 0);
  EXPECT_FALSE(m.hasTriangles());
  const BoundingBox &box = m.GetBoundingBox();
  EXPECT_EQ(box.min(), (Vec3d{100000, 100000, 100000}));
  EXPECT_EQ(box.max(), (Vec3d{-100000, -100000, -100000}));
  // With format 16 and no points the nominal block is empty but present.
  EXPECT_EQ(readModel(writeFile("empty16.ses", validSession(16, 0, -5))).pointCount, 0);
}

TEST(SessionReaderLayout, ReadingAgainReplacesDerivedState) {
  SessionBytes withNormal = validSession(16, 3, 1);
  const std::int32_t normal = 9; // not its position: the normal indices are held
  std::memcpy(withNormal.bytes.data() + 16 + 28 * 3 + 12, &normal, 4);
  const std::string first = writeFile("first.ses", withNormal);
  const std::string second = writeFile("second.ses", validSession(0, 5, -1));
  SessionModel m;
  m.SetPath(first.c_str());
  ASSERT_TRUE(m.ReadSessionFile());
  EXPECT_EQ(m.normalIndexOf(0), 9);
  m.ComputeTriangleNormals(1);
  EXPECT_EQ(m.GetBoundingBox().max().x, 2.0);
  m.SetPath(second.c_str());
  ASSERT_TRUE(m.ReadSessionFile());
  EXPECT_EQ(m.pointCount, 5);
  EXPECT_FALSE(m.hasNominalPoints());
  EXPECT_FALSE(m.triangles.present());
  EXPECT_FALSE(m.triangleNormalIndices.present());
  EXPECT_FALSE(m.triangleNormals.present());
  EXPECT_EQ(m.GetBoundingBox().max().x, 4.0); // not the cached box of the first file
}

// Every refusal: false, a message naming the file, and the model as it was.
class SessionReaderRefusal : public ::testing::Test {
protected:
  void SetUp() override {
    good_ = writeFile("good.ses", validSession(0, 3, 1));
    model_.SetPath(good_.c_str());
    ASSERT_TRUE(model_.ReadSessionFile());
  }
  std::string refuse(const std::string &path) {
    model_.SetPath(path.c_str());
    EXPECT_FALSE(model_.ReadSessionFile());
    expectIsThreePointModel(model_);
    EXPECT_NE(model_.error().find(path), std::string::npos) << model_.error();
    return model_.error();
  }
  SessionModel model_;
  std::string good_;
};

TEST_F(SessionReaderRefusal, MissingFileAndDirectory) {
  EXPECT_NE(refuse(good_ + ".missing").find("cannot open"), std::string::npos);
  EXPECT_NE(refuse(::testing::TempDir()).find("not a regular file: a folder"), std::string::npos);
  EXPECT_NE(refuse("/dev/null").find("not a regular file: a character device"), std::string::npos);
}

TEST_F(SessionReaderRefusal, ShorterThanHeader) {
  for (std::size_t len : {0u, 1u, 8u, 15u}) {
    const SessionBytes full = validSession(0, 0, 0);
    const std::string e = refuse(writeFile("short.ses", full.bytes.data(), len));
    EXPECT_NE(e.find(len == 0 ? "the file is empty" : "header"), std::string::npos) << e;
  }
}

TEST_F(SessionReaderRefusal, TruncatedAtEveryBlockBoundaryAndInside) {
  const int n = 4, t = 3;
  const SessionBytes full = validSession(16, n, t);
  const std::size_t ends[] = {16, 16 + 12 * n, 16 + 24 * n, 16 + 28 * n, 16 + 28 * n + 16 * t};
  for (std::size_t len : ends)
    for (std::size_t cut : {len, len + 1, len + 5}) {
      if (cut >= full.bytes.size())
        continue;
      SCOPED_TRACE(cut);
      const std::string e = refuse(writeFile("cut.ses", full.bytes.data(), cut));
      EXPECT_NE(e.find("4 points and 3 triangles, with nominal points"), std::string::npos) << e;
      EXPECT_NE(e.find(std::to_string(full.bytes.size()) + " bytes)"), std::string::npos) << e;
    }
  // One byte short of the nominal block's end.
  refuse(writeFile("last.ses", full.bytes.data(), full.bytes.size() - 1));
}

TEST_F(SessionReaderRefusal, MessageGroupsLargeNumbers) {
  SessionBytes s;
  s.header(0, 10044, 20088);
  s.bytes.resize(1234, 0);
  const std::string e = refuse(writeFile("rocker.ses", s));
  EXPECT_NE(e.find(": 1,234 bytes, but the header announces 10,044 points and 20,088 triangles "
                   "(602,656 bytes)"),
            std::string::npos)
      << e;
}

TEST_F(SessionReaderRefusal, NegativePointCount) {
  for (std::int32_t n : {-1, INT32_MIN}) {
    SessionBytes s = validSession(0, 0, 0);
    std::memcpy(s.bytes.data() + 4, &n, 4);
    s.bytes.resize(4096, 0);
    EXPECT_NE(refuse(writeFile("neg.ses", s)).find("negative point count"), std::string::npos);
  }
}

TEST_F(SessionReaderRefusal, ForgedHugeCountsAreRefusedBeforeAllocating) {
  const std::pair<std::int32_t, std::int32_t> counts[] = {
      {INT32_MAX, 0}, {INT32_MAX, INT32_MAX}, {3, INT32_MAX}, {0, 1 << 30}};
  for (auto [n, t] : counts) {
    SessionBytes s;
    s.header(16, n, t);
    s.bytes.resize(256, 0);
    const std::string path = writeFile("huge.ses", s);
    gLargestAllocation = 0;
    largeblock::resetPeak();
    refuse(path);
    EXPECT_LT(gLargestAllocation.load(), std::size_t{1} << 20) << n << " " << t;
    EXPECT_EQ(largeblock::peakMappedBytes(), largeblock::mappedBytes()) << n << " " << t;
  }
}

TEST_F(SessionReaderRefusal, TriangleCornerOutsideThePoints) {
  const int n = 3;
  const std::int32_t bad[][3] = {
      {0, 1, 3}, {3, 1, 2}, {0, -1, 2}, {INT32_MIN, 0, 1}, {0, 1, INT32_MAX}};
  for (const auto &c : bad) {
    SessionBytes s = validSession(16, n, 2);
    // Second triangle record starts after the first.
    const std::size_t at = 16 + 28 * n + 16;
    std::memcpy(s.bytes.data() + at, c, 12);
    const std::string e = refuse(writeFile("idx.ses", s));
    EXPECT_NE(e.find("triangle 1 "), std::string::npos) << e;
    EXPECT_NE(e.find("outside the points 0..2"), std::string::npos) << e;
  }
  // Triangles over no points at all.
  SessionBytes none;
  none.header(0, 0, 1).tri(0, 0, 0);
  EXPECT_NE(refuse(writeFile("nopoints.ses", none)).find("no points"), std::string::npos);
}

TEST(SessionReaderPath, ExtensionChoosesTheReaderInAnyCase) {
  EXPECT_TRUE(isSessionFilePath("part.ses"));
  EXPECT_TRUE(isSessionFilePath("/a/b/PART.SES"));
  EXPECT_TRUE(isSessionFilePath("x.Ses"));
  EXPECT_FALSE(isSessionFilePath("points.txt"));
  EXPECT_FALSE(isSessionFilePath("ses.txt"));
  EXPECT_FALSE(isSessionFilePath("se"));
  EXPECT_FALSE(isSessionFilePath(""));
}
