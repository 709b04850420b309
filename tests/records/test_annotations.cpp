// The annotation record: a full round trip through the file, matching against a model,
// malformed and oversized files (refused or clipped with a message), and the writes that must
// never replace a file.
#include "records/AnnotationsFile.h"
#include "session/SessionModel.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
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
  a.display = {0.1,          -0.3, 7, PointFilter::OutsideOnly, true, true, DisplayMode::Points,
               PointSize::L, 2.5,  5, BannerLineColour::Black,  true};
  // A turn of 0.7 rad about y after 0.3 rad about x, column-major, rounded as computed.
  const double cx = std::cos(0.3), sx = std::sin(0.3), cy = std::cos(0.7), sy = std::sin(0.7);
  const std::array<double, 16> r{cy,      0,   -sy,     0, sx * sy, cx, sx * cy, 0,
                                 cx * sy, -sx, cx * cy, 0, 0,       0,  0,       1};
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

TEST(Annotations, OversizedPartsAreNotAppliedAndNoted) {
  // Texts up to the limit are read whole; a longer one drops its comment, not the file.
  const std::string atLimit = std::string(RecordLimits::kMaxCommentBytes - 2, 'a') + "é";
  const std::string overLimit = atLimit + "b";
  std::string comments =
      R"("comments": [{"text": ")" + atLimit + R"("}, {"text": ")" + overLimit + R"("})";
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
  ASSERT_EQ(a.comments.size(), AnnotationsLimits::kMaxEntries - 1);
  EXPECT_EQ(a.comments[0].text, atLimit);
  EXPECT_EQ(a.comments[1].x, 1);
  EXPECT_EQ(a.display.colourBars, DisplaySettings{}.colourBars);
  EXPECT_EQ(a.display.pointFilter, PointFilter::All);
  EXPECT_FALSE(a.display.showPercentages); // a record without the field: the default
  EXPECT_FALSE(a.camera.fieldOfView);
  EXPECT_FALSE(a.section);
  std::string notes;
  for (const auto &n : r.notes)
    notes += n + "\n";
  for (const char *what :
       {"100,002 entries", "comments[1].text of 65,537 bytes", "colourBars 1 is outside 3..50",
        "pointFilter", "fieldOfView 200", "section.plane 'Z/Z'"})
    EXPECT_NE(notes.find(what), std::string::npos) << what << " in\n" << notes;
  // A later minor version reads.
  EXPECT_TRUE(parseAnnotations(minimal("").replace(minimal("").find("1.0"), 3, "1.7"), "s").ok);
}

TEST(Annotations, TextsReadBackByteIdenticalAndOverLimitIsRefused) {
  const fs::path dir = testDir();
  const std::string ses = (dir / "part.ses").string(), side = sidecarPathFor(ses);
  Annotations a = fullRecord(model(10, ses));
  std::string tenThousand;
  for (int i = 0; tenThousand.size() < 10000; ++i)
    tenThousand += std::to_string(i % 10);
  a.comments[0].text = tenThousand;
  a.comments[1].text = "Прогиб ≤ 0,2 мм\r\n第二行\n\tΣ 🙂 \"end\"\r\n";
  a.banners[0].comment = a.comments[1].text + tenThousand;
  a.distances[0].comment = std::string(RecordLimits::kMaxCalloutCommentBytes, 'x');
  ASSERT_TRUE(writeAnnotations(side, a, ses).ok);
  const std::string first = slurp(side);
  const AnnotationsReadResult r = readAnnotations(side);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.notes.empty()) << r.notes.front();
  EXPECT_EQ(r.annotations, a);
  ASSERT_TRUE(writeAnnotations(side, r.annotations, ses).ok);
  EXPECT_EQ(slurp(side), first);

  // One byte over a limit: refused, not cut, and the file stays as it was.
  Annotations over = a;
  over.comments[0].text.assign(RecordLimits::kMaxCommentBytes + 1, 'y');
  AnnotationsWriteResult w = writeAnnotations(side, over, ses);
  EXPECT_FALSE(w.ok);
  EXPECT_NE(w.message.find("longer than 65,536 bytes"), std::string::npos) << w.message;
  over = a;
  over.distances[0].comment += "y";
  EXPECT_FALSE(writeAnnotations(side, over, ses).ok);
  EXPECT_EQ(slurp(side), first);
  fs::remove_all(dir);
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
  // Nor one the reader would not apply as it is, or whose lists it would shorten.
  bad = a;
  bad.display.colourBars = 1000;
  EXPECT_NE(writeAnnotations(side, bad, ses).message.find("colourBars 1000"), std::string::npos);
  bad = a;
  bad.comments.resize(AnnotationsLimits::kMaxEntries + 1, a.comments[0]);
  EXPECT_NE(annotationsWriteProblem(bad).find("10,001 entries"), std::string::npos);
  EXPECT_EQ(annotationsWriteProblem(a), "");
  EXPECT_EQ(readAnnotations(side).annotations, other);
  fs::remove_all(dir);
}

TEST(Annotations, HandEditedPartsThatFailAreNotAppliedTheRestIs) {
  const std::string rot0 = R"("rotation": [0,0,0,0, 0,0,0,0, 0,0,0,0, 0,0,0,0])";
  const std::string rotHuge = R"("rotation": [1e300,0,0,0, 0,1e300,0,0, 0,0,1e300,0, 0,0,0,1])";
  const std::string mirror = R"("rotation": [-1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1])";
  struct Case {
    std::string display, camera, note;
  };
  const Case cases[] = {
      {R"("upperTolerance": -0.1, "lowerTolerance": 0.1)", "",
       "display.upperTolerance -0.1 is below the lower tolerance 0.1: the tolerances are not "
       "applied"},
      {R"("upperTolerance": 0, "lowerTolerance": 0)", "",
       "display.upperTolerance 0 is not above 0"},
      {R"("upperTolerance": 0.3, "lowerTolerance": 0.1)", "",
       "display.lowerTolerance 0.1 is not below 0"},
      {R"("colourBars": 1000)", "", "display.colourBars 1000 is outside 3..50: the default 15"},
      {R"("decimalPlaces": 7)", "", "display.decimalPlaces 7 is outside 0..6"},
      {"", rot0, "camera.rotation is not a rotation"},
      {"", rotHuge, "camera.rotation is not a rotation"},
      {"", mirror, "camera.rotation is a mirror image"},
      {"", R"("fieldOfView": 0)", "camera.fieldOfView 0 is not between 0 and 180"},
  };
  const std::string rest = R"("banners": [{"point": 3, "comment": "kept"}], "comments": [)"
                           R"({"text": "keep", "size": 5, "angle": 100, "position": [1e9, 0]}])";
  for (const Case &c : cases) {
    const std::string display =
        R"("display": {"magnification": 4)" + (c.display.empty() ? "" : ", " + c.display) + "}";
    const std::string camera =
        R"("camera": {"distance": 50)" + (c.camera.empty() ? "" : ", " + c.camera) + "}";
    const AnnotationsReadResult r =
        parseAnnotations(minimal(display + ", " + camera + ", " + rest), "side.json");
    ASSERT_TRUE(r.ok) << r.error;
    std::string notes;
    for (const auto &n : r.notes)
      notes += n + "\n";
    EXPECT_NE(notes.find("side.json: " + c.note), std::string::npos) << c.note << " in\n" << notes;
    // The failing part takes its default; the rest of the record is applied.
    const Annotations &a = r.annotations;
    EXPECT_EQ(a.display.upperTolerance > 0 && a.display.lowerTolerance < 0, true);
    EXPECT_LE(a.display.colourBars, RecordLimits::kMaxColourBars);
    EXPECT_FALSE(a.camera.rotation && c.camera.size() > 0);
    EXPECT_EQ(a.display.magnification, 4);
    EXPECT_EQ(a.camera.distance, 50.0);
    ASSERT_EQ(a.banners.size(), 1u);
    EXPECT_EQ(a.banners[0].comment, "kept");
    ASSERT_EQ(a.comments.size(), 1u);
    EXPECT_EQ(a.comments[0], (CommentRecord{"keep", 100, 400, 20, 0, false}));
    EXPECT_NE(notes.find("comments[0].size 5 is outside 10..10000"), std::string::npos);
    EXPECT_NE(notes.find("comments[0].angle 100"), std::string::npos);
    EXPECT_NE(notes.find("comments[0].position [1e+09, 0] is off any screen"), std::string::npos);
  }

  // Values no JSON file can hold reach sanitize from the window: a NaN distance goes alone.
  Annotations a = fullRecord(model(10, "part.ses"));
  a.camera.rotation = std::array<double, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  a.camera.distance = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(recordProblems(a).size(), 1u);
  EXPECT_TRUE(a.camera.distance) << "recordProblems changed the record";
  const Annotations before = a;
  const std::vector<std::string> notes = sanitize(a);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "camera.distance nan is not a positive number: the view keeps its own");
  EXPECT_FALSE(a.camera.distance);
  a.camera.distance = 1.0;
  Annotations kept = before;
  kept.camera.distance = 1.0;
  EXPECT_EQ(a, kept);
  EXPECT_TRUE(sanitize(a).empty());
}

TEST(Annotations, FileIdentityTellsAChangeOnDisk) {
  const fs::path dir = testDir();
  const std::string ses = (dir / "part.ses").string(), side = sidecarPathFor(ses);
  const AnnotationsWriteResult w = writeAnnotations(side, fullRecord(model(10, ses)), ses);
  ASSERT_TRUE(w.ok && w.identity);
  const std::string bytes = slurp(side);
  EXPECT_EQ(w.identity->size, bytes.size());
  EXPECT_EQ(FileIdentity::of(side), w.identity);
  EXPECT_EQ(readAnnotations(side).identity, w.identity);

  // Other bytes of the same size with the time stamp set back: only the hash tells.
  struct stat st {};
  ASSERT_EQ(::stat(side.c_str(), &st), 0);
  const auto rewrite = [&](const std::string &text, const timespec &mtime) {
    std::ofstream(side, std::ios::binary | std::ios::trunc) << text;
    const timespec times[2] = {st.st_atim, mtime};
    ASSERT_EQ(::utimensat(AT_FDCWD, side.c_str(), times, 0), 0);
  };
  std::string changed = bytes;
  changed[changed.find("Kommentar")] = 'C';
  rewrite(changed, st.st_mtim);
  const std::optional<FileIdentity> sameStamp = FileIdentity::of(side);
  ASSERT_TRUE(sameStamp);
  EXPECT_EQ(sameStamp->size, w.identity->size);
  EXPECT_EQ(sameStamp->mtimeNs, w.identity->mtimeNs);
  EXPECT_NE(sameStamp, w.identity);
  EXPECT_EQ(readAnnotations(side).identity, sameStamp); // what the reader parsed, hashed
  rewrite(bytes, st.st_mtim);
  EXPECT_EQ(FileIdentity::of(side), w.identity);
  // The same bytes touched: another identity with the same content.
  rewrite(bytes, timespec{st.st_mtim.tv_sec + 5, st.st_mtim.tv_nsec});
  const std::optional<FileIdentity> touched = FileIdentity::of(side);
  ASSERT_TRUE(touched);
  EXPECT_NE(touched, w.identity);
  EXPECT_TRUE(touched->sameContent(*w.identity));
  EXPECT_FALSE(FileIdentity::of((dir / "none").string()));
  EXPECT_FALSE(FileIdentity::of(dir.string()));
  fs::remove_all(dir);
}
