// The callout table: rows of banners and distances against the tolerances, and the CSV's
// number forms and RFC 4180 quoting.
#include "records/CalloutTable.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {
SessionModel threePoints() {
  SessionModel m;
  m.pointCount = 3;
  m.points.allocate(3);
  m.deviations.allocate(3);
  m.points[0] = {0.5f, 0, 0};
  m.points[1] = {3.5f, 4, 0};
  m.points[2] = {-1, 2.5f, 1e-7f};
  m.deviations[0] = 0.1f;
  m.deviations[1] = 0.3f;
  m.deviations[2] = -0.25000003f;
  m.path = "three.ses";
  return m;
}
} // namespace

TEST(CalloutTable, RowsAndCsv) {
  const SessionModel m = threePoints();
  const std::vector<BannerRecord> banners{{2, {}, "plain"}, {1, {}, "a, \"b\"\nc"}, {0, {}, ""}};
  const std::vector<DistanceRecord> distances{{0, 1, {}, "gap\r"}};
  const auto rows = calloutRows(m, banners, distances, -0.25, 0.1);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[3].kind, CalloutRow::Kind::DistanceEnd);
  EXPECT_EQ(rows[5].callout, 0);
  EXPECT_EQ(calloutCsv(rows), "id,x,y,z,deviation,status,comment\n"
                              "B1,-1,2.5,1e-07,-0.25000003,below,plain\n"
                              "B2,3.5,4,0,0.3,above,\"a, \"\"b\"\"\nc\"\n"
                              "B3,0.5,0,0,0.1,in,\n"
                              "D1a,0.5,0,0,0.1,in,\n"
                              "D1b,3.5,4,0,0.3,above,\n"
                              "D1,3,4,0,5,,\"gap\r\"\n");
  // On the lower limit the band colours show below, the gradient in; the upper limit is in.
  SessionModel limits = threePoints();
  limits.deviations[0] = 0.1f;
  limits.deviations[2] = -0.25f;
  const std::vector<BannerRecord> ends{{0, {}, ""}, {2, {}, ""}};
  for (bool gradient : {false, true}) {
    const auto r = calloutRows(limits, ends, {}, -0.25, 0.1, gradient);
    EXPECT_EQ(r[0].status, "in");
    EXPECT_EQ(r[1].status, gradient ? "in" : "below");
  }
  // A field that only holds a semicolon or a tab needs no quotes.
  EXPECT_EQ(csvField("a;b\tc"), "a;b\tc");
  EXPECT_EQ(csvField("\""), "\"\"\"\"");
}

TEST(CalloutTable, WritesAtomicallyAndNeverOverAnInput) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("velmora-callouts-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string input = (dir / "model.ses").string();
  std::ofstream(input) << "model";
  const SessionModel m = threePoints();
  const auto rows = calloutRows(m, {{1, {}, "x"}}, {}, -0.25, 0.25);
  EXPECT_FALSE(writeCalloutCsv(input, rows, {"other.json", input}).ok);
  EXPECT_EQ((std::stringstream() << std::ifstream(input).rdbuf()).str(), "model");
  const std::string out = (dir / "table.csv").string();
  ASSERT_TRUE(writeCalloutCsv(out, rows, {input}).ok);
  EXPECT_EQ((std::stringstream() << std::ifstream(out).rdbuf()).str(), calloutCsv(rows));
  EXPECT_FALSE(writeCalloutCsv((dir / "no/such/table.csv").string(), rows, {input}).ok);
  fs::remove_all(dir);
}
