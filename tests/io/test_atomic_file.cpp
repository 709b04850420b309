#include "io/AtomicFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace exporttest;

// Data written in pieces smaller than, equal to and larger than the buffer, and through
// reserve(), arrives in order and complete.
TEST(AtomicFile, MixedWritesArriveCompleteAndInOrder) {
  TempDir dir;
  const std::string path = dir.file("out.txt");
  std::string expected;
  {
    AtomicFile f(path, 4096);
    f.setSync(false);
    ASSERT_TRUE(f.ok()) << f.error();
    for (int i = 0; i < 3000; ++i) {
      const std::string piece = std::to_string(i) + ",";
      f.write(piece);
      expected += piece;
    }
    const std::string big(10000, 'B'); // larger than the buffer: goes straight to the file
    f.write(big);
    expected += big;
    char *p = f.reserve(4096);
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "tail", 4);
    f.advance(4);
    expected += "tail";
    EXPECT_EQ(f.reserve(4097), nullptr); // more than the buffer can ever hold
    // Nothing is visible at the target before the commit.
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(f.commit()) << f.error();
  }
  EXPECT_EQ(readWholeFile(path), expected);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.txt"});
}

// An abandoned file (no commit) leaves the old target and no temporary behind.
TEST(AtomicFile, WithoutCommitTheOldFileStays) {
  TempDir dir;
  const std::string path = dir.file("data.wrl");
  writeWholeFile(path, "old");
  {
    AtomicFile f(path);
    ASSERT_TRUE(f.ok());
    f.write(std::string(100000, 'n'));
  }
  EXPECT_EQ(readWholeFile(path), "old");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"data.wrl"});
}

// A new file gets the permissions the umask allows, not the private ones of a temporary.
TEST(AtomicFile, NewFileHasUmaskPermissions) {
  TempDir dir;
  const mode_t old = ::umask(022);
  {
    AtomicFile f(dir.file("a"));
    f.write("x");
    ASSERT_TRUE(f.commit()) << f.error();
  }
  ::umask(027);
  {
    AtomicFile f(dir.file("b"));
    f.write("x");
    ASSERT_TRUE(f.commit()) << f.error();
  }
  ::umask(old);
  struct stat st;
  ASSERT_EQ(::stat(dir.file("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  ASSERT_EQ(::stat(dir.file("b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Paths beyond the system's path length limit, and names near the name length limit, work.
TEST(AtomicFile, VeryLongPathsAndNames) {
  TempDir dir;
  const std::string part(200, 'd');
  const std::string cwd = std::filesystem::current_path().string();
  // mkdir cannot take a path this long, so the folders are made one level at a time.
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  std::string deep = dir.path();
  int levels = 0;
  while (deep.size() < 5000) { // PATH_MAX is 4096
    ASSERT_EQ(::mkdir(part.c_str(), 0755), 0);
    ASSERT_EQ(::chdir(part.c_str()), 0);
    deep += "/" + part;
    ++levels;
  }
  const std::string longName(250, 'n'); // the temporary's name must still fit in 255 bytes
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  {
    AtomicFile f(deep + "/" + longName);
    ASSERT_TRUE(f.ok()) << f.error();
    f.write("deep");
    ASSERT_TRUE(f.commit()) << f.error();
  }
  // Read it back, and clean up, relative to the folders.
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  for (int i = 0; i < levels; ++i)
    ASSERT_EQ(::chdir(part.c_str()), 0);
  EXPECT_EQ(readWholeFile(longName), "deep");
  std::size_t others = 0;
  for (const auto &e : std::filesystem::directory_iterator("."))
    others += e.path().filename() != longName;
  EXPECT_EQ(others, 0u) << "a temporary file was left behind";
  ::unlink(longName.c_str());
  for (int i = 0; i < levels; ++i) {
    ASSERT_EQ(::chdir(".."), 0);
    ::rmdir(part.c_str());
  }
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

// Failures to create report the target and the reason, before any data is written.
TEST(AtomicFile, CreationFailuresAreReported) {
  TempDir dir;
  writeWholeFile(dir.file("file"), "f");
  const std::string paths[] = {dir.file("nope/x"), dir.file("file/x"), dir.path() + "/", dir.path(),
                               ""};
  for (const std::string &p : paths) {
    AtomicFile f(p);
    EXPECT_FALSE(f.ok()) << p;
    EXPECT_FALSE(f.write("data"));
    EXPECT_FALSE(f.commit());
    EXPECT_FALSE(f.error().empty());
    if (!p.empty()) {
      EXPECT_NE(f.error().find(p), std::string::npos) << f.error();
    }
  }
  AtomicFile missing(dir.file("nope/x"));
  EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos)
      << missing.error();
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"});

  // A FIFO (like a device) is never replaced by a regular file, and nothing is left behind.
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  AtomicFile pipe(dir.file("pipe"));
  EXPECT_NE(pipe.error().find("not a regular file: a FIFO"), std::string::npos) << pipe.error();
  EXPECT_FALSE(pipe.commit());
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"file", "pipe"}));
}

// A temporary left by a killed write (its process gone) is removed by the next write to the
// same target; those of live writers and of other targets stay.
TEST(AtomicFile, NextWriteRemovesStaleTemporariesOfItsTarget) {
  TempDir dir;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0)
    ::_exit(0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child); // reaped: its id names no process now
  const std::string prefix = AtomicFile::tempPrefix("out.txt");
  EXPECT_EQ(prefix, ".out.txt.velmora-tmp-");
  const std::string dead = prefix + std::to_string(child) + "-a1B2c3";
  const std::string live = prefix + std::to_string(::getppid()) + "-zzzzzz";
  const std::string other = AtomicFile::tempPrefix("other.txt") + std::to_string(child) + "-a1B2c3";
  const std::string unlike = prefix + std::to_string(child) + "-toolong7";
  for (const std::string &name : {dead, live, other, unlike})
    writeWholeFile(dir.file(name), "partial");
  {
    AtomicFile f(dir.file("out.txt"));
    ASSERT_TRUE(f.ok()) << f.error();
    // Its own temporary carries this process's id.
    const std::string mine = prefix + std::to_string(::getpid()) + "-";
    std::size_t own = 0;
    for (const std::string &e : dir.entries())
      own += e.rfind(mine, 0) == 0 && e.size() == mine.size() + 6;
    EXPECT_EQ(own, 1u);
    f.write("new");
    ASSERT_TRUE(f.commit()) << f.error();
  }
  std::vector<std::string> expected{"out.txt", live, other, unlike};
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> entries = dir.entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(readWholeFile(dir.file("out.txt")), "new");
}
