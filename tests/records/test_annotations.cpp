// The annotation record: a full round trip through the file, matching against a model,
// malformed and oversized files (refused or clipped with a message), and the writes that must
// never replace a file.
#include "records/AnnotationsFile.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path testDir() {
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::temp_directory_path() /
                       ("velmora-annotations-" + std::to_string(getpid()) + "-" + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string slurp(const fs::path &p) {
  return (std::stringstream() << std::ifstream(p, std::ios::binary).rdbuf()).str();
}

SessionModel model(int n, const std::string &path) {
  SessionModel m;
  m.pointCount = n;
  m.points.allocate(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    m.points[static_cast<std::size_t>(i)] = {float(i), 0.5f * float(i), -1.0f};
  m.path = path;
  return m;
}

// Every field away from its default.
Annotations fullRecord(const SessionModel &m) {
  Annotations a;
  a.session = ModelIdentity::of(m);
  a.display = {0.1, -0.3, 7, 2, true, true, 1, 3, 2.5, 5, 2};
  std::array<double, 16> r{};
  for (int i = 0; i < 16; ++i)
    r[static_cast<std::size_t>(i)] = 1.0 / (i + 3);
  a.camera = {r, 123.456, -0.1, 7e-9, 30.0, 1280, 720};
  a.banners = {{0, {1e-3, -2.5, 150.25}, "é \"quoted\", line\nnext"}, {9, {0, 0, 0}, ""}};
  a.distances = {{2, 7, {0.1, 0.2, 0.3}, "gap ≤ 0.2"}};
  a.comments = {{"Kommentar 🙂", 12.5, 640, 33, -45, true}, {"", 0, 0, 10, 90, false}};
  a.section = SectionRecord{"Y/Z", {0.25, -1e6, 3.0}};
  return a;
}

std::string minimal(const std::string &extra, const std::string &session = "") {
  return R"({"format": "velmora-annotations", "version": "1.0", "session": {"points": 10,)"
         R"( "checksum": "crc32:0000ABCD")" +
         session + "}" + (extra.empty() ? "" : ", " + extra) + "}";
}

} // namespace

TEST(Annotations, RoundTripKeepsEveryFieldAndMatchesItsModel) {
  const fs::path dir = testDir();
  const std::string ses = (dir / "part.ses").string();
  const SessionModel m = model(10, ses);
  const Annotations a = fullRecord(m);
  const std::string sidecar = sidecarPathFor(ses);
  EXPECT_EQ(sidecar, ses + ".velmora.json");
  ASSERT_TRUE(writeAnnotations(sidecar, a, ses).ok);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);

  const AnnotationsReadResult r = readAnnotationsFor(sidecar, ModelIdentity::of(m));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.notes.empty());
  EXPECT_EQ(r.annotations, a);
  // Saving what was read gives the same bytes.
  EXPECT_EQ(annotationsJson(r.annotations), slurp(sidecar));
  // An empty record reads back with its defaults and no camera.
  Annotations empty;
  empty.session = a.session;
  EXPECT_EQ(parseAnnotations(annotationsJson(empty), "x").annotations, empty);

  // Another name with the same points is only a note; other points are refused.
  SessionModel renamed = model(10, (dir / "copy.ses").string());
  ModelMatch match = matchesModel(a, ModelIdentity::of(renamed));
  EXPECT_TRUE(match.matches());
  EXPECT_NE(match.note.find("part.ses"), std::string::npos);
  renamed.points[9].z = std::nextafter(-1.0f, 0.0f);
  match = matchesModel(a, ModelIdentity::of(renamed));
  EXPECT_NE(match.problem.find("checksum"), std::string::npos) << match.problem;
  const AnnotationsReadResult other =
      readAnnotationsFor(sidecar, ModelIdentity::of(model(11, ses)));
  EXPECT_FALSE(other.ok);
  EXPECT_NE(other.error.find("11"), std::string::npos) << other.error;
  fs::remove_all(dir);
}

TEST(Annotations, MalformedFilesAreRefusedWithAReason) {
  const std::string good = annotationsJson(fullRecord(model(10, "part.ses")));
  const std::pair<std::string, std::string> cases[] = {
      {good.substr(0, good.size() / 2), "not a valid annotation file"},
      {"", "not a valid annotation file"},
      {"[1, 2]", "expected a JSON object"},
      {R"({"format": "other", "version": "1.0"})", "format"},
      {R"({"format": "velmora-annotations", "version": "2.0"})", "newer version"},
      {R"({"format": "velmora-annotations", "version": 1})", "version"},
      {R"({"format": "velmora-annotations", "version": "1.0"})", "session"},
      {minimal("", R"(, "points": "10")"), "session.points: expected a number"},
      {minimal("", R"(, "checksum": "md5:00")"), "session.checksum"},
      {minimal(R"("banners": {"point": 1})"), "banners: expected a list"},
      {minimal(R"("banners": [{"point": 10}])"), "banners[0].point: point index 10 is outside"},
      {minimal(R"("banners": [{"point": -1}])"), "point index -1"},
      {minimal(R"("banners": [{"point": 1.5}])"), "whole number"},
      {minimal(R"("banners": [{"point": 1, "boxOffset": [0, 0]}])"), "list of 3 numbers"},
      {minimal(R"("distances": [{"points": [1, 99]}])"), "distances[0].points[1]"},
      {minimal(R"("comments": [{"text": "a", "fill": 1}])"), "expected true or false"},
      {minimal(R"("comments": [{"text": 5}])"), "expected a text"},
      {minimal(R"("display": {"gradient": "yes"})"), "display.gradient"},
      {minimal(R"("camera": {"distance": NaN})"), "not a valid annotation file"},
      {minimal(R"("camera": {"rotation": [1e999]})"), "not a valid annotation file"},
      {minimal(R"("camera": {"rotation": [1, 2]})"), "camera.rotation"},
      {minimal(R"("section": {"plane": "X/Y"})"), "section.point"},
      {std::string(40, '[') + std::string(40, ']'), "nested deeper"},
  };
  for (const auto &[text, reason] : cases) {
    const AnnotationsReadResult r = parseAnnotations(text, "side.json");
    EXPECT_FALSE(r.ok) << text;
    EXPECT_NE(r.error.find(reason), std::string::npos) << r.error;
    EXPECT_EQ(r.error.rfind("side.json: ", 0), 0u) << r.error;
  }
  // Files: missing, not regular, too large.
  const fs::path dir = testDir();
  EXPECT_TRUE(readAnnotations((dir / "none.json").string()).absent);
  const AnnotationsReadResult folder = readAnnotations(dir.string());
  EXPECT_FALSE(folder.ok || folder.absent);
  EXPECT_NE(parseAnnotations(std::string(AnnotationsLimits::kMaxFileBytes + 1, ' '), "big")
                .error.find("more than"),
            std::string::npos);
  fs::remove_all(dir);
}

TEST(Annotations, OversizedPartsAreClippedWithANote) {
  // A text longer than the limit is cut before a character that would not fit whole.
  const std::string longText = std::string(4095, 'a') + "é" + std::string(5000, 'b');
  std::string comments = R"("comments": [{"text": ")" + longText + R"("})";
  for (int i = 0; i < 100000; ++i)
    comments += R"(, {"text": "c", "position": [1, 2]})";
  comments += "]";
  const AnnotationsReadResult r = parseAnnotations(
      minimal(comments + R"(, "display": {"colourBars": 1, "pointFilter": "fancy"},)"
                         R"( "camera": {"fieldOfView": 200}, "future": {"x": [1]},)"
                         R"( "section": {"plane": "Z/Z", "point": [0, 0, 0]})"),
      "side.json");
  ASSERT_TRUE(r.ok) << r.error;
  const Annotations &a = r.annotations;
  ASSERT_EQ(a.comments.size(), AnnotationsLimits::kMaxEntries);
  EXPECT_EQ(a.comments[0].text, std::string(4095, 'a'));
  EXPECT_EQ(a.comments[1].x, 1);
  EXPECT_EQ(a.display.colourBars, 3);
  EXPECT_EQ(a.display.pointFilter, 0);
  EXPECT_FALSE(a.camera.fieldOfView);
  EXPECT_FALSE(a.section);
  std::string notes;
  for (const auto &n : r.notes)
    notes += n + "\n";
  for (const char *what : {"100,001 entries", "1 text(s) longer", "colourBars", "pointFilter",
                           "fieldOfView", "section: dropped"})
    EXPECT_NE(notes.find(what), std::string::npos) << what << " in\n" << notes;
  // A later minor version reads.
  EXPECT_TRUE(parseAnnotations(minimal("").replace(minimal("").find("1.0"), 3, "1.7"), "s").ok);
}

TEST(Annotations, WritesNeverReplaceWhatTheyMustNot) {
  const fs::path dir = testDir();
  const std::string ses = (dir / "part.ses").string();
  std::ofstream(ses) << "session bytes";
  const SessionModel m = model(10, ses);
  const Annotations a = fullRecord(m);
  // Not over the session file, not over a file that is no record of this model.
  EXPECT_FALSE(writeAnnotations(ses, a, ses).ok);
  EXPECT_EQ(slurp(ses), "session bytes");
  const std::string side = sidecarPathFor(ses);
  std::ofstream(side) << "{broken";
  const ExportResult kept = writeAnnotations(side, a, ses);
  EXPECT_FALSE(kept.ok);
  EXPECT_NE(kept.message.find("not replaced"), std::string::npos) << kept.message;
  EXPECT_EQ(slurp(side), "{broken");
  Annotations other = a;
  other.session.checksum ^= 1;
  ASSERT_TRUE(writeAnnotations(side, other, ses, ExistingFile::Replace).ok);
  EXPECT_FALSE(writeAnnotations(side, a, ses).ok);
  EXPECT_TRUE(writeAnnotations(side, other, ses).ok); // a record of the same model: replaced
  // A record that would not read back is not written.
  Annotations bad = a;
  bad.comments[0].x = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(writeAnnotations(side, bad, ses).ok);
  bad = a;
  bad.banners[0].point = 10;
  EXPECT_FALSE(writeAnnotations(side, bad, ses).ok);
  EXPECT_EQ(readAnnotations(side).annotations, other);
  fs::remove_all(dir);
}
