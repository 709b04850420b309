// The point text reader: number syntax, skipped lines, carried-over coordinates, line
// endings, long lines and the arrays a text model gets.
#include "SessionTestFiles.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testfiles::writeFile;

namespace {

SessionModel readText(const std::string &text, const std::string &name = "p.txt") {
  SessionModel m;
  const std::string path = writeFile(name, text);
  m.SetPath(path.c_str());
  EXPECT_TRUE(m.ReadPointTextFile()) << m.error();
  return m;
}

} // namespace

TEST(PointTextNumbers, ScanfSyntax) {
  const SessionModel m = readText("1.5 -2 3e2\n"
                                  "+4\t.5E-1   -6.25e+1\n"
                                  "  7.  8 9 10 11\n"
                                  "0x10 -0x1p-2 1e400\n"
                                  "inf -INF 5\n");
  ASSERT_EQ(m.pointCount, 5);
  EXPECT_EQ(m.points[0], (Vec3f{1.5f, -2.0f, 300.0f}));
  EXPECT_EQ(m.points[1], (Vec3f{4.0f, 0.05f, -62.5f}));
  EXPECT_EQ(m.points[2], (Vec3f{7, 8, 9})); // numbers after the third are ignored
  EXPECT_EQ(m.points[3].x, 16.0f);
  EXPECT_EQ(m.points[3].y, -0.25f);
  EXPECT_TRUE(std::isinf(m.points[3].z) && m.points[3].z > 0);
  EXPECT_TRUE(std::isinf(m.points[4].x) && m.points[4].x > 0);
  EXPECT_TRUE(std::isinf(m.points[4].y) && m.points[4].y < 0);
}

TEST(PointTextNumbers, ParsingStopsAtTheFirstNonNumber) {
  // As a "%lf%lf%lf" scan: "2abc" gives 2, then the scan stops; "+-3" is no number.
  const SessionModel m = readText("1 1 1\n"
                                  "5 2abc 9\n"
                                  "6,7,8\n"
                                  "+-3 4 4\n");
  ASSERT_EQ(m.pointCount, 3);
  EXPECT_EQ(m.points[1], (Vec3f{5, 2, 1}));
  EXPECT_EQ(m.points[2], (Vec3f{6, 2, 1}));
}

TEST(PointTextLines, LinesWithoutNumbersAreSkipped) {
  const SessionModel m = readText("X Y Z\n"
                                  "\n"
                                  "# scanned 2024\n"
                                  "   \t \n"
                                  "1 2 3\n"
                                  "\n"
                                  "; end\n"
                                  "4 5 6");
  ASSERT_EQ(m.pointCount, 2);
  EXPECT_EQ(m.points[0], (Vec3f{1, 2, 3}));
  EXPECT_EQ(m.points[1], (Vec3f{4, 5, 6})); // last line without a line feed
  EXPECT_EQ(m.skippedLines, 3u);            // the text lines; blank ones are not counted
}

TEST(PointTextLines, MissingCoordinatesCarryOver) {
  const SessionModel m = readText("7\n"
                                  "1 2 3\n"
                                  "4 5\n"
                                  "-1\n");
  ASSERT_EQ(m.pointCount, 4);
  EXPECT_EQ(m.points[0], (Vec3f{7, 0, 0})); // the first point's missing values are 0
  EXPECT_EQ(m.points[1], (Vec3f{1, 2, 3}));
  EXPECT_EQ(m.points[2], (Vec3f{4, 5, 3}));
  EXPECT_EQ(m.points[3], (Vec3f{-1, 5, 3}));
}

TEST(PointTextLines, LineEndingsGiveTheSamePoints) {
  const std::string lf = "X Y Z\n1 2 3\n\n4.5 5 6\n7 8\n";
  std::string crlf, cr;
  for (char c : lf) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  const SessionModel a = readText(lf, "lf.txt"), b = readText(crlf, "crlf.txt"),
                     c = readText(cr, "cr.txt");
  ASSERT_EQ(a.pointCount, 3);
  for (const SessionModel *m : {&b, &c}) {
    ASSERT_EQ(m->pointCount, a.pointCount);
    for (int i = 0; i < a.pointCount; ++i)
      EXPECT_EQ(m->points[i], a.points[i]) << i;
  }
}

TEST(PointTextLines, LongLinesAreOneLineEach) {
  // Longer than any fixed chunk and than the reader's block: each line is still one point.
  std::string text;
  for (int i = 0; i < 3; ++i) {
    text += std::string(300, ' ') + "1.00000000000000000000000000000000000000000000000000000001 ";
    text += std::to_string(i) + " " + std::to_string(-i) + " " + std::string(3 << 20, '9') + "\n";
  }
  const SessionModel m = readText(text);
  ASSERT_EQ(m.pointCount, 3);
  EXPECT_EQ(m.points[2], (Vec3f{1, 2, -2}));
}

TEST(PointTextLines, LinesAcrossBlockBoundaries) {
  // Enough short lines that many straddle the reader's block boundaries.
  std::string text;
  const int count = 150000;
  for (int i = 0; i < count; ++i)
    text += std::to_string(i) + " " + std::to_string(i % 97) + ".25 -" + std::to_string(i % 13) +
            "\r\n";
  const SessionModel m = readText(text);
  ASSERT_EQ(m.pointCount, count);
  for (int i : {0, 1, 4095, 65536, 99999, count - 1})
    EXPECT_EQ(m.points[i], (Vec3f{float(i), float(i % 97) + 0.25f, -float(i % 13)})) << i;
}

TEST(PointTextModel, ArraysOfATextModel) {
  SessionModel m = readText("1 2 3\n4 5 6\n7 8 9\n");
  ASSERT_EQ(m.pointCount, 3);
  ASSERT_TRUE(m.pointStatus.present());
  ASSERT_TRUE(m.deviations.present());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(m.pointStatus[i], 0);
    EXPECT_EQ(m.deviations[i], 0.0f);
  }
  EXPECT_FALSE(m.normals.present());
  EXPECT_FALSE(m.hasNominalPoints());
  EXPECT_FALSE(m.hasTriangles());
  EXPECT_EQ(m.triangleCount, 0);
  EXPECT_EQ(m.deviationMode, 0);
  EXPECT_EQ(m.GetBoundingBox().max(), (Vec3d{7, 8, 9}));
}

TEST(PointTextModel, EmptyFileAndMissingFile) {
  SessionModel missing;
  const std::string path = testfiles::tempPath("does-not-exist.txt");
  missing.SetPath(path.c_str());
  EXPECT_FALSE(missing.ReadPointTextFile());
  EXPECT_NE(missing.error().find(path), std::string::npos);
  EXPECT_NE(missing.error().find("cannot open"), std::string::npos);
}

TEST(PointTextRefusal, BinaryOrNumberlessFilesAreNotPointText) {
  const auto refusedPath = [](const std::string &path) {
    SessionModel m = readText("1 2 3\n");
    m.SetPath(path.c_str());
    EXPECT_FALSE(m.ReadPointTextFile());
    EXPECT_EQ(m.pointCount, 1); // the model as it was
    return m.error();
  };
  const auto refused = [&](const std::string &name, const std::string &bytes) {
    return refusedPath(writeFile(name, bytes));
  };
  // A NUL byte anywhere, even after good lines.
  EXPECT_NE(refused("nul.txt", std::string("1 2 3\n4 5 6\n\0 7 8 9\n", 20))
                .find("not a point text file (a NUL byte at offset 12)"),
            std::string::npos);
  // Nothing to show: an empty file, or a short one without a number.
  EXPECT_NE(refused("empty.txt", "").find("the file is empty"), std::string::npos);
  EXPECT_NE(refused("words.txt", "x y z\n\n").find("not a point text file (no number in it)"),
            std::string::npos);
  // 64 KB without a number, in lines or in one long line.
  std::string comments;
  while (comments.size() < (70u << 10))
    comments += "# no numbers here\n";
  EXPECT_NE(refused("comments.txt", comments).find("no number in its first 64 KB"),
            std::string::npos);
  EXPECT_NE(refused("line.txt", std::string(3u << 20, 'x')).find("not a point text file"),
            std::string::npos);
  EXPECT_NE(refusedPath(::testing::TempDir()).find("not a regular file: a folder"),
            std::string::npos);
  // After a number, long comments are only skipped.
  const SessionModel m = readText("1 2 3\n" + comments + "4 5 6\n");
  EXPECT_EQ(m.pointCount, 2);
  EXPECT_EQ(m.skippedLines, comments.size() / 18);
}

TEST(PointTextRefusal, HugeSparseFileIsRefusedWithBoundedMemory) {
  // 3 GB of NUL bytes that take no disk space; the reader runs in a child process so that its
  // peak memory can be measured on its own.
  const std::string path = testfiles::tempPath("sparse.txt");
  std::FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(::ftruncate(::fileno(f), 3LL << 30), 0);
  std::fclose(f);
  const auto residentKb = [](const std::string &field) {
    std::ifstream in("/proc/self/status");
    std::string name;
    long kb = -1;
    while (in >> name && name != field + ":")
      in.ignore(1 << 12, '\n');
    return in >> kb ? kb : -1L;
  };
  ASSERT_GT(residentKb("VmHWM"), 0);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const long before = residentKb("VmRSS");
    SessionModel m;
    m.SetPath(path.c_str());
    const bool ok = m.ReadPointTextFile();
    char out[512];
    const int n = std::snprintf(out, sizeof out, "%d %ld %s", ok, residentKb("VmHWM") - before,
                                m.error().c_str());
    (void)!::write(fds[1], out, static_cast<std::size_t>(n));
    ::_exit(0);
  }
  ::close(fds[1]);
  char in[512] = {};
  (void)!::read(fds[0], in, sizeof in - 1);
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  std::remove(path.c_str());
  int ok = 1;
  long growthKb = -1;
  int used = 0;
  ASSERT_EQ(std::sscanf(in, "%d %ld %n", &ok, &growthKb, &used), 2) << in;
  EXPECT_EQ(ok, 0);
  EXPECT_NE(std::string(in + used).find("not a point text file"), std::string::npos) << in;
  EXPECT_GE(growthKb, 0);
  EXPECT_LT(growthKb, 64 * 1024) << "peak memory grew by " << growthKb << " KB";
}

TEST(PointTextModel, ReplacesAnEarlierSessionContent) {
  testfiles::SessionBytes s = testfiles::validSession(16, 3, 1);
  const std::int32_t normal = 9; // not its position: the normal indices are held
  std::memcpy(s.bytes.data() + 16 + 28 * 3 + 12, &normal, 4);
  const std::string ses = writeFile("before.ses", s);
  const std::string txt = writeFile("after.txt", std::string("1 1 1\n"));
  SessionModel m;
  m.SetPath(ses.c_str());
  ASSERT_TRUE(m.ReadSessionFile());
  ASSERT_TRUE(m.triangleNormalIndices.present());
  m.deviationMode = 3;
  m.SetPath(txt.c_str());
  ASSERT_TRUE(m.ReadPointTextFile());
  EXPECT_EQ(m.pointCount, 1);
  EXPECT_FALSE(m.normals.present());
  EXPECT_FALSE(m.hasNominalPoints());
  EXPECT_FALSE(m.hasTriangles());
  EXPECT_FALSE(m.triangleNormalIndices.present());
  EXPECT_EQ(m.deviationMode, 0);
  EXPECT_EQ(m.deviations.size(), 1u);
}
