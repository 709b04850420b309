// The --section and --callouts commands end to end: a session file on disk in, CSV out.
#include "analysis/ColourScale.h"
#include "app/Cli.h"
#include "records/AnnotationsFile.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Bytes {
  std::string data;
  void i32(std::int32_t v) { data.append(reinterpret_cast<const char *>(&v), 4); }
  void f32(float v) { data.append(reinterpret_cast<const char *>(&v), 4); }
};

fs::path testDir() {
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = fs::temp_directory_path() /
                 ("velmora-cli-section-" + std::to_string(::getpid()) + "-" + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// A tube of radius 4 around the z axis from z = -2 to 2; deviation of point i is i / 100 - 0.3.
std::string writeTube(const fs::path &path, int n = 48) {
  std::vector<float> xyz;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < n; ++i) {
      const double a = 2 * std::numbers::pi * i / n;
      xyz.insert(xyz.end(), {4 * static_cast<float>(std::cos(a)),
                             4 * static_cast<float>(std::sin(a)), -2.0f + 2.0f * j});
    }
  const int points = 3 * n;
  std::vector<std::int32_t> tris;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * n + i, b = j * n + (i + 1) % n;
      tris.insert(tris.end(), {a, b, a + n, 0, b, b + n, a + n, 0});
    }
  Bytes s;
  s.i32(0);
  s.i32(points);
  s.i32(static_cast<std::int32_t>(tris.size() / 4));
  s.i32(0);
  for (float v : xyz)
    s.f32(v);
  for (int i = 0; i < points; ++i) {
    s.f32(0);
    s.f32(0);
    s.f32(1);
  }
  for (int i = 0; i < points; ++i)
    s.f32(static_cast<float>(i) / 100.0f - 0.3f);
  for (std::int32_t v : tris)
    s.i32(v);
  std::ofstream(path, std::ios::binary) << s.data;
  return path.string();
}

std::string readFile(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::vector<double>> parseRows(const std::string &csv) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "x,y,z,deviation,r,g,b");
  while (std::getline(in, line)) {
    std::vector<double> row;
    std::istringstream fields(line);
    std::string f;
    while (std::getline(fields, f, ','))
      row.push_back(std::strtod(f.c_str(), nullptr));
    EXPECT_EQ(row.size(), 7u) << line;
    rows.push_back(row);
  }
  return rows;
}

CliArgs sectionArgs(const std::string &plane, double x, double y, double z, const std::string &file,
                    const std::string &csv) {
  CliArgs a;
  a.command = "section";
  a.plane = plane;
  a.at[0] = x;
  a.at[1] = y;
  a.at[2] = z;
  a.file = file;
  a.output = csv;
  return a;
}

} // namespace

TEST(CliSection, WritesTheSectionOfASessionFile) {
  const fs::path dir = testDir();
  const std::string ses = writeTube(dir / "tube.ses");
  CliArgs args = sectionArgs("X/Y", 0, 0, 0.5, ses, (dir / "out.csv").string());
  args.display.extended = true;
  args.display.gradient = true;    // the section ignores it: bands, as the view colours it
  args.display.outsideOnly = true; // and the point filter
  ASSERT_EQ(runSection(args), 0);
  const auto rows = parseRows(readFile(dir / "out.csv"));
  ASSERT_GE(rows.size(), 96u);
  const ColourScale scale(0.25f, -0.25f, 15, 0, false, true);
  for (const auto &r : rows) {
    EXPECT_NEAR(r[2], 0.5, 1e-9);
    EXPECT_NEAR(std::hypot(r[0], r[1]), 4, 0.03);
    const Colour c = scale.colourFor(static_cast<float>(r[3]));
    EXPECT_EQ(r[4], c.r);
    EXPECT_EQ(r[5], c.g);
    EXPECT_EQ(r[6], c.b);
  }
  // No temporary file is left beside the output.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 2);

  // The other planes cut through the axis: two lines along z.
  ASSERT_EQ(runSection(sectionArgs("Y/Z", 0.25, 0, 0, ses, (dir / "yz.csv").string())), 0);
  const auto yz = parseRows(readFile(dir / "yz.csv"));
  ASSERT_FALSE(yz.empty());
  for (const auto &r : yz) {
    EXPECT_NEAR(r[0], 0.25, 1e-9);
    EXPECT_LE(std::fabs(r[2]), 2.0 + 0.011);
  }
  ASSERT_EQ(runSection(sectionArgs("X/Z", 0, -1, 0, ses, (dir / "xz.csv").string())), 0);
  for (const auto &r : parseRows(readFile(dir / "xz.csv")))
    EXPECT_NEAR(r[1], -1, 1e-9);
  fs::remove_all(dir);
}

TEST(CliSection, PointFilesGiveOnlyTheHeader) {
  const fs::path dir = testDir();
  std::ofstream(dir / "pts.txt") << "0 0 0\n1 1 1\n2 2 -1\n";
  ASSERT_EQ(runSection(sectionArgs("X/Y", 0, 0, 0.5, (dir / "pts.txt").string(),
                                   (dir / "out.csv").string())),
            0);
  EXPECT_EQ(readFile(dir / "out.csv"), "x,y,z,deviation,r,g,b\n");
  // A plane beside the model: also just the header.
  const std::string ses = writeTube(dir / "tube.ses");
  ASSERT_EQ(runSection(sectionArgs("X/Y", 0, 0, 50, ses, (dir / "miss.csv").string())), 0);
  EXPECT_EQ(readFile(dir / "miss.csv"), "x,y,z,deviation,r,g,b\n");
  fs::remove_all(dir);
}

TEST(CliSection, FailuresLeaveExistingOutputAlone) {
  const fs::path dir = testDir();
  std::ofstream(dir / "old.csv") << "previous";
  // Missing input file.
  EXPECT_EQ(runSection(sectionArgs("X/Y", 0, 0, 0, (dir / "none.ses").string(),
                                   (dir / "old.csv").string())),
            1);
  EXPECT_EQ(readFile(dir / "old.csv"), "previous");
  // A truncated session file is refused by the reader.
  std::ofstream(dir / "short.ses", std::ios::binary) << std::string("\0\0\0\0\x05\0\0\0", 8);
  EXPECT_EQ(runSection(sectionArgs("X/Y", 0, 0, 0, (dir / "short.ses").string(),
                                   (dir / "old.csv").string())),
            1);
  EXPECT_EQ(readFile(dir / "old.csv"), "previous");
  // An output folder that does not exist.
  const std::string ses = writeTube(dir / "tube.ses");
  EXPECT_EQ(runSection(sectionArgs("X/Y", 0, 0, 0.5, ses, (dir / "no/such/dir/out.csv").string())),
            1);
  // A plane name the command does not know.
  EXPECT_EQ(runSection(sectionArgs("Z/Z", 0, 0, 0.5, ses, (dir / "old.csv").string())), 1);
  EXPECT_EQ(readFile(dir / "old.csv"), "previous");
  fs::remove_all(dir);
}

namespace {
int runArgs(std::vector<std::string> args) {
  args.insert(args.begin(), "velmora-viewer");
  std::vector<char *> argv;
  for (auto &a : args)
    argv.push_back(a.data());
  return runHeadless(static_cast<int>(argv.size()), argv.data());
}
} // namespace

TEST(CliCallouts, TableOfASidecarAndTheWorstPoints) {
  const fs::path dir = testDir();
  const std::string ses = writeTube(dir / "tube.ses");
  SessionModel model;
  bool isSession = false;
  std::string error;
  ASSERT_TRUE(readModelFile(ses, model, isSession, error)) << error;
  Annotations record;
  record.session = ModelIdentity::of(model);
  record.banners = {{0, {1, 1, 1}, "first, \"the\" one"}};
  record.distances = {{0, 48, {}, ""}};
  const std::string side = (dir / "side.json").string();
  ASSERT_TRUE(writeAnnotations(side, record, ses).ok);
  const std::string out = (dir / "out.csv").string();

  // Deviations rise with the index, so the worst points are the last ones; on the tube's
  // rings neighbours lie 0.52 apart, more than the default spacing (2 % of a 12 mm diagonal).
  ASSERT_EQ(runArgs({"--callouts", out, "--annotations", side, "--worst", "3", ses}), 0);
  std::istringstream csv(readFile(out));
  std::vector<std::string> lines;
  for (std::string line; std::getline(csv, line);)
    lines.push_back(line);
  ASSERT_EQ(lines.size(), 8u) << readFile(out);
  EXPECT_EQ(lines[1], "B1,4,0,-2,-0.3,below,\"first, \"\"the\"\" one\"");
  for (int k = 0; k < 3; ++k) {
    std::vector<std::string> f;
    std::istringstream fields(lines[2 + static_cast<std::size_t>(k)]);
    for (std::string field; std::getline(fields, field, ',');)
      f.push_back(field);
    ASSERT_EQ(f.size(), 6u); // the empty comment ends the line
    EXPECT_EQ(f[0], "B" + std::to_string(2 + k));
    EXPECT_EQ(std::strtof(f[4].c_str(), nullptr), model.deviations[143 - std::size_t(k)]);
    EXPECT_EQ(f[5], "above");
  }
  EXPECT_EQ(lines[5].substr(0, 4), "D1a,");
  EXPECT_EQ(lines[7], "D1,0,0,2,2,,");
  // The record's tolerances count unless the command line gives others; with a spacing
  // larger than the tube only one worst point is left.
  record.display.upperTolerance = 2;
  record.display.lowerTolerance = -2;
  ASSERT_TRUE(writeAnnotations(side, record, ses).ok);
  ASSERT_EQ(runArgs({"--callouts", out, "--annotations", side, "--worst", "3", ses}), 0);
  const std::string none = readFile(out);
  EXPECT_EQ(std::count(none.begin(), none.end(), '\n'), 5) << none;
  ASSERT_EQ(runArgs({"--callouts", out, "--worst", "3", "--spacing", "100", "--annotations", side,
                     "--tolerance", "0.25", ses}),
            0);
  EXPECT_NE(readFile(out).find("B2,"), std::string::npos);
  EXPECT_EQ(readFile(out).find("B3,"), std::string::npos);
  fs::remove_all(dir);
}

TEST(CliCallouts, RefusalsLeaveTheOutputAlone) {
  const fs::path dir = testDir();
  const std::string ses = writeTube(dir / "tube.ses");
  const std::string other = writeTube(dir / "other.ses", 40);
  SessionModel model;
  bool isSession = false;
  std::string error;
  ASSERT_TRUE(readModelFile(other, model, isSession, error)) << error;
  Annotations record;
  record.session = ModelIdentity::of(model);
  const std::string side = (dir / "side.json").string();
  ASSERT_TRUE(writeAnnotations(side, record, other).ok);
  const std::string out = (dir / "old.csv").string();
  std::ofstream(out) << "previous";
  // Another model's record, a broken record, the input as output: exit 1, nothing written.
  EXPECT_EQ(runArgs({"--callouts", out, "--annotations", side, ses}), 1);
  std::ofstream((dir / "broken.json").string()) << "{\"format\": ";
  EXPECT_EQ(runArgs({"--callouts", out, "--annotations", (dir / "broken.json").string(), ses}), 1);
  EXPECT_EQ(readFile(out), "previous");
  EXPECT_EQ(runArgs({"--callouts", side, "--annotations", side, "--worst", "2", other}), 1);
  EXPECT_EQ(runArgs({"--callouts", ses, "--worst", "2", ses}), 1);
  // Usage errors: exit 2.
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"--callouts", out, ses},
        {"--callouts", out, "--worst", "0", ses},
        {"--callouts", out, "--worst", "101", ses},
        {"--callouts", out, "--spacing", "1", ses},
        {"--callouts", out, "--worst", "3", "--spacing", "-1", ses},
        {"--info", "--annotations", side, ses}})
    EXPECT_EQ(runArgs(args), 2) << args[2];
  EXPECT_EQ(readFile(out), "previous");
  EXPECT_EQ(readAnnotations(side).annotations, record);
  fs::remove_all(dir);
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
