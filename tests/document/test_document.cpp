#include "document/Document.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

std::string tempPath(const char *name) {
  return (std::filesystem::temp_directory_path() /
          (std::string("velmora-doc-") + std::to_string(::getpid()) + "-" + name))
      .string();
}

void writeFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

TEST(Document, EditsNotifyAndCountAsUnsavedExceptTheCamera) {
  Document doc;
  std::vector<Document::Change> seen;
  const int id = doc.addListener([&](const Document::Change &c) { seen.push_back(c); });
  EXPECT_FALSE(doc.hasUnsavedChanges());

  CameraRecord camera;
  camera.distance = 5.0;
  doc.setCamera(camera);
  EXPECT_FALSE(doc.hasUnsavedChanges());
  doc.addBanner(BannerRecord{3, {}, "a"});
  doc.insertBanner(0, BannerRecord{1, {}, "b"});
  ASSERT_EQ(doc.banners().size(), 2u);
  EXPECT_EQ(doc.banners()[0].point, 1);
  EXPECT_TRUE(doc.hasUnsavedChanges());
  doc.setBannerOffset(1, Vec3d(1, 2, 3));
  doc.setBannerOffset(1, Vec3d(1, 2, 3)); // no change, no notice
  doc.setCommentPosition(0, 1, 1);        // no such comment
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2].kind, Document::Kind::Inserted);
  EXPECT_EQ(seen[2].index, 0u);
  EXPECT_EQ(seen[3].kind, Document::Kind::Changed);

  doc.markSaved();
  EXPECT_FALSE(doc.hasUnsavedChanges());
  doc.removeBanner(0);
  EXPECT_TRUE(doc.hasUnsavedChanges());
  doc.insertBanner(0, BannerRecord{1, {}, "b"}); // undo puts it back: nothing to save
  EXPECT_FALSE(doc.hasUnsavedChanges());

  doc.removeListener(id);
  doc.addComment(CommentRecord{});
  EXPECT_EQ(seen.size(), 6u);
}

TEST(Document, RestoreValidatesBeforeAnythingIsShown) {
  Document doc;
  int resets = 0;
  doc.addListener([&](const Document::Change &c) {
    // Listeners never see an unchecked value.
    EXPECT_GT(doc.display().upperTolerance, doc.display().lowerTolerance);
    resets += c.kind == Document::Kind::Reset;
  });
  Annotations bad;
  bad.display.upperTolerance = -1; // below the lower tolerance
  bad.display.colourBars = 7;
  bad.banners.push_back(BannerRecord{2, {}, "kept"});
  const std::vector<std::string> notes = doc.restore(bad);
  EXPECT_FALSE(notes.empty());
  EXPECT_EQ(doc.display().upperTolerance, DisplaySettings{}.upperTolerance);
  EXPECT_EQ(doc.display().colourBars, 7);
  ASSERT_EQ(doc.banners().size(), 1u);
  EXPECT_GT(resets, 0);
  EXPECT_FALSE(doc.hasUnsavedChanges());
}

TEST(Document, ToldWhenTheSidecarOrTheSessionFileChangedOnDisk) {
  const std::string session = tempPath("a.ses");
  writeFile(session, "points");
  Document doc(session, nullptr);
  const std::string sidecar = doc.targetPath();
  EXPECT_EQ(sidecar, sidecarPathFor(session));
  std::remove(sidecar.c_str());

  // No sidecar when it was read, none now.
  EXPECT_FALSE(doc.sidecarChangedOnDisk());
  // Another window saved one meanwhile.
  writeFile(sidecar, "{ }");
  EXPECT_TRUE(doc.sidecarChangedOnDisk());
  doc.setSidecarIdentity(FileIdentity::of(sidecar));
  EXPECT_FALSE(doc.sidecarChangedOnDisk());
  writeFile(sidecar, "{ } ");
  EXPECT_TRUE(doc.sidecarChangedOnDisk());
  std::remove(sidecar.c_str());
  EXPECT_FALSE(doc.sidecarChangedOnDisk());

  EXPECT_FALSE(doc.sessionChangedOnDisk());
  writeFile(session, "other points");
  EXPECT_TRUE(doc.sessionChangedOnDisk());
  std::remove(session.c_str());
  EXPECT_TRUE(doc.sessionChangedOnDisk());
  std::remove(sidecar.c_str());
}
