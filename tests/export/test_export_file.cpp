#include "export/ExportFile.h"
#include "export/VrmlWriter.h"
#include "io/AtomicFile.h"
#include "support/ModelBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace exporttest;

namespace {

const ColourScale kStandard(0.25f, -0.25f, 15, 0, false, false);

// Three points, one triangle; deviations beyond the band both ways and one in the middle.
const std::vector<TestPoint> kPoints = {
    {1.5f, 2.0f, -3.25f, 0.3f}, {10.0f, 0.0f, 0.5f, -0.3f}, {-7.0f, 100.125f, 2.0f, 0.0f}};
const std::vector<std::array<int, 4>> kTriangles = {{2, 0, 1, 5}};

const char *kExpected = "#VRML V2.0 utf8\n"
                        "Shape {\n"
                        "\tgeometry IndexedFaceSet {\n"
                        "\t\tcoord Coordinate {\n"
                        "point [1.5   2  -3.25, 10   0  0.5, -7   100.125  2, ]\n"
                        "\t\t}\n"
                        "\t\tcolor Color {\n"
                        "\t\t\tcolor[1 1 1, 1 1 1, 0 1 0, ]\n"
                        "\t\t}\n"
                        "\t\tcoordIndex [\n"
                        "2, 0, 1,  -1,]\n"
                        "\t}\n"
                        "}\n"
                        "Background {\n"
                        "\tskyAngle [ 1.4, 1.5 ]\n"
                        "\tskyColor [ 0.2 0.2 1, 0.5 0.5 1, 0.9 0.9 1 ]\n"
                        "}\n";

} // namespace

// The suffix decides the kind, in any case; a name that is only the suffix has none.
TEST(ExportFile, KindBySuffixInAnyCase) {
  EXPECT_EQ(exportKindFor("out.wrl"), ExportKind::Vrml);
  EXPECT_EQ(exportKindFor("/tmp/OUT.WRL"), ExportKind::Vrml);
  EXPECT_EQ(exportKindFor("a.Wrl"), ExportKind::Vrml);
  EXPECT_EQ(exportKindFor("model.u3d"), ExportKind::U3d);
  EXPECT_EQ(exportKindFor("MODEL.U3D"), ExportKind::U3d);
  EXPECT_EQ(exportKindFor("part.Pdf"), ExportKind::Pdf3d);
  for (const char *other : {"out.wrlx", "outwrl", "out.wr", "out.bmp", "out", "", ".wrl",
                            "dir/.u3d", "x.wrl/y", "out.u3d ", ".pdf"})
    EXPECT_EQ(exportKindFor(other), ExportKind::Unknown) << other;
}

// A session file read afresh from disk and written as VRML; upper-case suffixes work.
TEST(ExportFile, SessionFileToVrml) {
  TempDir dir;
  const std::string ses = dir.file("part.ses");
  writeWholeFile(ses, sessionFileBytes(kPoints, kTriangles, true));
  for (const char *name : {"out.wrl", "OUT.WRL"}) {
    const ExportResult r = exportSessionFile(dir.file(name), ses, kStandard);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(readWholeFile(dir.file(name)), kExpected) << name;
  }
  // An upper-case session suffix is a session file too.
  const std::string upper = dir.file("PART.SES");
  writeWholeFile(upper, sessionFileBytes(kPoints, kTriangles, false));
  ASSERT_TRUE(exportSessionFile(dir.file("u.wrl"), upper, kStandard).ok);
  EXPECT_EQ(readWholeFile(dir.file("u.wrl")), kExpected);
}

// Point text files, unknown suffixes and unreadable or refused session files are failures
// with a message; the target is neither created nor changed.
TEST(ExportFile, RefusalsLeaveTargetsAlone) {
  TempDir dir;
  const std::string txt = dir.file("points.txt");
  writeWholeFile(txt, "1 2 3\n4 5 6\n7 8 9\n");
  const std::string ses = dir.file("part.ses");
  writeWholeFile(ses, sessionFileBytes(kPoints, kTriangles, false));
  const std::string keep = dir.file("keep.wrl");
  writeWholeFile(keep, "old");

  ExportResult r = exportSessionFile(keep, txt, kStandard);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("session file"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find(txt), std::string::npos) << r.message;
  r = exportSessionFile(dir.file("new.u3d"), txt, kStandard);
  EXPECT_FALSE(r.ok);
  // The VRML entry on its own refuses it as well.
  EXPECT_FALSE(exportVrmlFile(keep, txt, kStandard).ok);

  r = exportSessionFile(dir.file("out.obj"), ses, kStandard);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find(".wrl"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find(".u3d"), std::string::npos) << r.message;

  // Missing session file: the reader's message, naming the file, not an empty export.
  const std::string missing = dir.file("gone.ses");
  r = exportSessionFile(keep, missing, kStandard);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find(missing), std::string::npos) << r.message;

  // A session file cut short, and one whose triangle names a point that does not exist.
  const std::string bytes = sessionFileBytes(kPoints, kTriangles, false);
  const std::string cut = dir.file("cut.ses");
  writeWholeFile(cut, bytes.substr(0, bytes.size() - 10));
  EXPECT_FALSE(exportSessionFile(keep, cut, kStandard).ok);
  const std::string badIndex = dir.file("bad.ses");
  writeWholeFile(badIndex, sessionFileBytes(kPoints, {{0, 1, 3, 0}}, false));
  EXPECT_FALSE(exportSessionFile(keep, badIndex, kStandard).ok);

  // Unwritable targets.
  r = exportSessionFile(dir.file("no/such/folder/out.wrl"), ses, kStandard);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("no/such/folder/out.wrl"), std::string::npos) << r.message;

  EXPECT_EQ(readWholeFile(keep), "old");
  EXPECT_EQ(dir.entries(),
            (std::vector<std::string>{"bad.ses", "cut.ses", "keep.wrl", "part.ses", "points.txt"}));
}

// ".u3d" in any case goes to the U3D writer: a complete file starts with the U3D file
// signature, never with VRML text.
TEST(ExportFile, U3dSuffixReachesU3dWriter) {
  TempDir dir;
  ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1); // keep the listing out of $HOME
  const std::string ses = dir.file("part.ses");
  writeWholeFile(ses, sessionFileBytes(kPoints, kTriangles, true));
  const std::string target = dir.file("MODEL.U3D");
  const ExportResult r = exportSessionFile(target, ses, kStandard);
  ASSERT_TRUE(r.ok) << r.message;
  const std::string bytes = readWholeFile(target);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("U3D\0", 4));
}

// No write lands on its input: the same path, a symbolic or hard link to it, or a path
// through ".." is refused and the input keeps its bytes; an unrelated name is written.
TEST(ExportFile, TargetThatIsTheInputIsRefused) {
  TempDir dir;
  const std::string ses = dir.file("part.wrl.ses");
  const std::string bytes = sessionFileBytes(kPoints, kTriangles, true);
  writeWholeFile(ses, bytes);
  ::mkdir(dir.file("sub").c_str(), 0755);
  ASSERT_EQ(::symlink(ses.c_str(), dir.file("link.wrl").c_str()), 0);
  ASSERT_EQ(::link(ses.c_str(), dir.file("hard.wrl").c_str()), 0);
  for (const std::string &same :
       {ses, dir.file("sub/../part.wrl.ses"), dir.file("link.wrl"), dir.file("hard.wrl")})
    EXPECT_FALSE(targetIsInputProblem(same, ses).empty()) << same;
  EXPECT_TRUE(targetIsInputProblem(dir.file("other.wrl"), ses).empty());

  for (const std::string &target : {dir.file("link.wrl"), dir.file("hard.wrl")}) {
    const ExportResult r = exportSessionFile(target, ses, kStandard);
    EXPECT_FALSE(r.ok) << target;
    EXPECT_NE(r.message.find("input file"), std::string::npos) << r.message;
  }
  EXPECT_EQ(readWholeFile(ses), bytes);

  // The model in memory goes out without the file being read again.
  SessionModel model;
  bool isSession = false;
  std::string error;
  ASSERT_TRUE(readModelFile(ses, model, isSession, error)) << error;
  ASSERT_EQ(::unlink(ses.c_str()), 0);
  const ExportResult r = exportModelFile(dir.file("out.wrl"), model, kStandard);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(readWholeFile(dir.file("out.wrl")), kExpected);
}
