// The --section, --info and --callouts commands end to end: a session file on disk in, CSV or
// JSON out.
#include "analysis/ColourScale.h"
#include "app/Cli.h"
#include "records/AnnotationsFile.h"
#include "report/InspectionReport.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <charconv>
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
  args.display.extendedColours = true;
  args.display.gradient = true; // the section ignores it: bands, as the view colours it
  args.display.pointFilter = PointFilter::OutsideOnly; // and the point filter
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

TEST(CliSection, APlaneThatMissesTheModelWritesNothing) {
  const fs::path dir = testDir();
  std::ofstream(dir / "pts.txt") << "0 0 0\n1 1 1\n2 2 -1\n";
  const std::string ses = writeTube(dir / "tube.ses");
  // A point file has no triangles to cut; a plane beside the tube cuts none of them. Neither
  // writes a file, nor a header-only table to standard output.
  for (const std::string &input : {(dir / "pts.txt").string(), ses}) {
    EXPECT_EQ(runSection(sectionArgs("X/Y", 0, 0, 50, input, (dir / "out.csv").string())), 1);
    EXPECT_FALSE(fs::exists(dir / "out.csv"));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runSection(sectionArgs("X/Y", 0, 0, 50, input, "")), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  }
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
  // The table never lands on its input, also not through a link.
  const std::string before = readFile(ses);
  fs::create_symlink(ses, dir / "link.csv");
  for (const std::string &target : {ses, (dir / "link.csv").string()})
    EXPECT_EQ(runSection(sectionArgs("X/Y", 0, 0, 0.5, ses, target)), 1) << target;
  EXPECT_EQ(readFile(ses), before);
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
  std::vector<std::string> files;
  return runCommandLine(static_cast<int>(argv.size()), argv.data(), files);
}
// Reads file into model and starts a record that belongs to it.
bool recordFor(const std::string &file, SessionModel &model, Annotations &record) {
  bool isSession = false;
  std::string error;
  if (!readModelFile(file, model, isSession, error))
    return false;
  record = {};
  record.session = ModelIdentity::of(model);
  return true;
}
std::string shortest(float v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}
} // namespace

TEST(CliInfo, DeviationSummaryAsJsonAndCsv) {
  const fs::path dir = testDir();
  CliArgs args;
  args.command = "info";
  args.file = writeTube(dir / "a,\"b\".ses"); // 144 deviations i / 100 - 0.3
  std::string json, error;
  ASSERT_TRUE(infoText(args, json, error)) << error;
  // The fields in their order; the percentiles are the values at ranks ceil(p 144 / 100).
  std::size_t at = json.find("\"deviation\": {\"min\": -0.3, ");
  ASSERT_NE(at, std::string::npos) << json;
  const auto value = [](int rank) { return shortest(float(rank - 1) / 100.0f - 0.3f); };
  for (const std::string &f : std::vector<std::string>{
           "\"max\": ", "\"mean\": ", "\"stddev\": ", "\"inside\": ", "\"count\": 144, ",
           "\"rms\": ", "\"median\": " + value(72) + ", ", "\"p01\": " + value(2) + ", ",
           "\"p05\": " + value(8) + ", ", "\"p95\": " + value(137) + ", ",
           "\"p99\": " + value(143) + ", ", "\"count_inside\": ", "\"count_above\": ",
           "\"count_below\": ", "\"above\": ", "\"below\": ", "\"bands\": [{\"lower\": -9999, "}) {
    const std::size_t next = json.find(f, at);
    ASSERT_NE(next, std::string::npos) << f << " after " << json.substr(at, 40);
    at = next;
  }
  // 17 entries of the default 15 bars, their counts adding up to all values.
  std::size_t bands = 0, total = 0;
  for (std::size_t p = json.find("\"count\": ", at); p != std::string::npos;
       p = json.find("\"count\": ", p + 1), ++bands)
    total += std::stoul(json.substr(p + 9));
  EXPECT_EQ(bands, 17u);
  EXPECT_EQ(total, 144u);

  args.csv = true;
  std::string csv;
  ASSERT_TRUE(infoText(args, csv, error));
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "file,format,points,triangles,min,max,mean,stddev,inside,count,rms,median,p01,p05,"
            "p95,p99,count_inside,count_above,count_below,above,below,tolerance_upper,"
            "tolerance_lower,tolerance_source");
  const std::string row = csv.substr(csv.find('\n') + 1);
  EXPECT_EQ(row.rfind("\"" + (dir / "a,\"\"b\"\".ses").string() + "\",session,144,192,-0.3,", 0),
            0u)
      << row;
  EXPECT_EQ(std::count(row.begin(), row.end(), ','), 23 + 1);
  EXPECT_NE(row.find(",0.25,-0.25,default\n"), std::string::npos) << row;

  // --csv is a flag beside --info wherever it stands, and keeps its value with --section.
  for (const std::vector<std::string> &argv :
       std::vector<std::vector<std::string>>{{"--info", "--csv", "f.ses"},
                                             {"--csv", "f.ses", "--info"},
                                             {"f.ses", "--info", "--csv"}}) {
    CliArgs parsed;
    ASSERT_TRUE(parseCliArgs(argv, parsed, error)) << error;
    EXPECT_TRUE(parsed.csv);
    EXPECT_EQ(parsed.file, "f.ses");
  }
  CliArgs section;
  ASSERT_TRUE(parseCliArgs({"--csv", "o.csv", "--section", "X/Y", "--at", "0,0,0", "f.ses"},
                           section, error));
  EXPECT_EQ(section.output, "o.csv");
  EXPECT_FALSE(
      parseCliArgs({"--section", "X/Y", "--at", "0,0,0", "f.ses", "--csv"}, section, error));
  fs::remove_all(dir);
}

TEST(CliArgs, RefusesWhatCannotBeMeant) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--snapshoot", "o.bmp", "F"}, "unknown option --snapshoot"},
      {{"F", "-x"}, "unknown option -x"},
      {{"--tolerance", "1", "F"}, "--tolerance needs one of --info"},
      {{"--info", "--tolerance", "nan", "F"}, "positive number"},
      {{"--info", "--tolerance", "0", "F"}, "positive number"},
      {{"--info", "--tolerance", "-1", "F"}, "positive number"},
      {{"--info", "--upper", "inf", "--lower", "0", "F"}, "finite number"},
      {{"--info", "--upper", "-1", "--lower", "1", "F"}, "below the lower tolerance"},
      {{"--section", "X/Y", "F"}, "needs --at"},
      {{"--section", "X/Y", "--at", "0,nan,0", "F"}, "three finite numbers"},
      {{"--info", "--bars", "2", "F"}, "from 3 to 50"},
      {{"--info", "--bars", "51", "F"}, "from 3 to 50"},
      {{"--export", "o.wrl", "--csv", "o.csv", "F"}, "only goes with --section"},
      {{"--info", "--export", "o.wrl", "F"}, "cannot be given together"},
      {{"--info", "F", "G"}, "more than one"},
      {{"--report", "o.pdf", "--accept", "0", "F"}, "above 0 and at most 100"},
      {{"--report", "o.pdf", "--accept", "100.5", "F"}, "above 0 and at most 100"},
      {{"--report", "o.pdf", "--field", "customer=x", "F"}, "NAME one of part"},
      {{"--report", "o.pdf", "--field", "part", "F"}, "NAME one of part"},
      {{"--info", "--accept", "95", "F"}, "only go with --report"},
  };
  for (const auto &[argv, message] : refused) {
    CliArgs a;
    std::string error;
    EXPECT_FALSE(parseCliArgs(argv, a, error)) << argv.front();
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  // Accepted: several windows, names after "--", negative coordinates, the band limits.
  CliArgs a;
  std::string error;
  ASSERT_TRUE(parseCliArgs({"a.ses", "-", "--", "-b.ses"}, a, error)) << error;
  EXPECT_TRUE(a.command.empty());
  EXPECT_EQ(a.files, (std::vector<std::string>{"a.ses", "-", "-b.ses"}));
  CliArgs s;
  ASSERT_TRUE(parseCliArgs({"--section", "X/Z", "--at", "-1,2e1,-3", "--bars", "50", "--upper",
                            "0.5", "--lower", "0.5", "F"},
                           s, error))
      << error;
  EXPECT_EQ(s.at[0], -1);
  EXPECT_EQ(s.at[1], 20);
  EXPECT_EQ(s.display.colourBars, 50);
  EXPECT_EQ(s.file, "F");
  CliArgs r;
  ASSERT_TRUE(parseCliArgs({"--report", "o.pdf", "--accept", "95.5", "--field", "part=A=1",
                            "--field", "approved-by=", "F"},
                           r, error))
      << error;
  EXPECT_EQ(r.accept, 95.5);
  EXPECT_EQ(r.fields, (std::vector<std::pair<std::string, std::string>>{{"part", "A=1"},
                                                                        {"approved-by", ""}}));
  EXPECT_EQ(runArgs({"--report", "o.pdf", "--field", "shift=2", "F"}), 2);
}

// A session file without points: every export and the report refuse it, writing nothing.
TEST(CliExport, AModelWithoutPointsIsRefused) {
  const fs::path dir = testDir();
  Bytes s;
  for (int i = 0; i < 4; ++i)
    s.i32(0);
  const std::string empty = (dir / "empty.ses").string();
  std::ofstream(empty, std::ios::binary) << s.data;
  for (const char *out : {"e.wrl", "e.u3d", "e.pdf"})
    EXPECT_EQ(runArgs({"--export", (dir / out).string(), empty}), 1) << out;
  EXPECT_EQ(runArgs({"--report", (dir / "r.pdf").string(), empty}), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

TEST(CliCallouts, TableOfASidecarAndTheWorstPoints) {
  const fs::path dir = testDir();
  const std::string ses = writeTube(dir / "tube.ses");
  SessionModel model;
  Annotations record;
  ASSERT_TRUE(recordFor(ses, model, record));
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
  Annotations record;
  ASSERT_TRUE(recordFor(other, model, record));
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
        {"--info", "--annotations", side, "--no-annotations", ses},
        {"--section", "X/Y", "--at", "0,0,0", "--no-annotations", ses}})
    EXPECT_EQ(runArgs(args), 2) << args[2];
  EXPECT_EQ(readFile(out), "previous");
  EXPECT_EQ(readAnnotations(side).annotations, record);
  fs::remove_all(dir);
}

namespace {
// A count of the --info JSON, e.g. "count_inside".
long infoCount(const std::string &json, const std::string &name) {
  const std::size_t at = json.find("\"" + name + "\": ");
  return at == std::string::npos ? -1 : std::stol(json.substr(at + name.size() + 4));
}
} // namespace

// Every headless command takes its settings from the sidecar or --annotations, under the
// options given, unless --no-annotations; --info and --report then count alike.
TEST(CliSettings, TheRecordUnlessRefusedWithOptionsOnTop) {
  const fs::path dir = testDir();
  const std::string ses = writeTube(dir / "tube.ses"); // deviations -0.3 .. 1.13
  SessionModel model;
  Annotations record;
  ASSERT_TRUE(recordFor(ses, model, record));
  record.display.upperTolerance = 0.1;
  record.display.lowerTolerance = -0.1;
  ASSERT_TRUE(writeAnnotations(sidecarPathFor(ses), record, ses).ok);
  std::string error;

  const auto info = [&](std::vector<std::string> options) {
    options.insert(options.begin(), "--info");
    options.push_back(ses);
    CliArgs args;
    std::string json;
    EXPECT_TRUE(parseCliArgs(options, args, error)) << error;
    EXPECT_TRUE(infoText(args, json, error)) << error;
    return std::pair{args, json};
  };
  const auto [fromRecord, json] = info({});
  EXPECT_NE(json.find("\"tolerance\": {\"upper\": 0.1, \"lower\": -0.1, \"source\": \"record\"}"),
            std::string::npos)
      << json;
  // The report counts what --info counts, and names where its tolerances came from.
  CliArgs reportArgs;
  ASSERT_TRUE(parseCliArgs({"--report", (dir / "r.pdf").string(), ses}, reportArgs, error));
  const CliDisplay shown = cliDisplayFor(reportArgs, model);
  ASSERT_TRUE(shown.found);
  const ReportContent content = reportContentFor(model, true, shown.settings);
  EXPECT_EQ(long(content.stats.countInside), infoCount(json, "count_inside"));
  EXPECT_EQ(long(content.stats.countAbove), infoCount(json, "count_above"));
  EXPECT_EQ(long(content.stats.countBelow), infoCount(json, "count_below"));
  EXPECT_EQ(toleranceSourceText(shown), "from tube.ses.velmora.json");
  EXPECT_EQ(runArgs({"--report", (dir / "r.pdf").string(), ses}), 0);

  // --no-annotations: the defaults; options given win over the record.
  const std::string none = info({"--no-annotations"}).second;
  EXPECT_NE(none.find("\"upper\": 0.25, \"lower\": -0.25, \"source\": \"default\""),
            std::string::npos);
  EXPECT_GT(infoCount(none, "count_inside"), infoCount(json, "count_inside")); // a wider band
  const auto [given, options] = info({"--tolerance", "0.2", "--bars", "5"});
  EXPECT_NE(options.find("\"upper\": 0.2, \"lower\": -0.2, \"source\": \"options\""),
            std::string::npos);
  EXPECT_EQ(cliDisplayFor(given, model).settings.colourBars, 5);
  EXPECT_EQ(toleranceSourceText(cliDisplayFor(given, model)), "command line");

  // Another model's sidecar is left out with a note; the defaults count.
  const std::string other = writeTube(dir / "other.ses", 40);
  fs::copy_file(sidecarPathFor(ses), sidecarPathFor(other));
  SessionModel otherModel;
  Annotations unused;
  ASSERT_TRUE(recordFor(other, otherModel, unused));
  CliArgs otherArgs;
  otherArgs.command = "info";
  otherArgs.file = other;
  const CliDisplay refused = cliDisplayFor(otherArgs, otherModel);
  EXPECT_TRUE(refused.ok && !refused.found && !refused.notes.empty());
  EXPECT_EQ(refused.settings, DisplaySettings{});
  EXPECT_EQ(refused.toleranceSource, "default");

  // A hand-edited record with inverted tolerances: the rest applies, the tolerances are the
  // defaults and are said to be.
  std::string text = readFile(sidecarPathFor(ses));
  const auto swap = [&text](const std::string &from, const std::string &to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, from.size(), to);
  };
  swap("\"upperTolerance\": 0.1", "\"upperTolerance\": -0.1");
  swap("\"lowerTolerance\": -0.1", "\"lowerTolerance\": 0.1");
  std::ofstream(sidecarPathFor(ses), std::ios::binary | std::ios::trunc) << text;
  const CliDisplay inverted = cliDisplayFor(fromRecord, model);
  EXPECT_TRUE(inverted.found);
  EXPECT_EQ(inverted.settings.upperTolerance, DisplaySettings{}.upperTolerance);
  EXPECT_EQ(inverted.toleranceSource, "default");
  fs::remove_all(dir);
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
