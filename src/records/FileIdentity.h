#pragma once
// Which bytes a file held when a window read it or last wrote it, so that the window can tell
// whether the file changed on disk since (another program, another window, a copy over it).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A file's size, modification time and a hash of its bytes. Equal identities mean the same
// bytes with the same time stamp; a different hash catches a change that kept the size and
// had its time stamp set back.
struct FileIdentity {
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0; // modification time, nanoseconds since 1970
  std::uint64_t hash = 0;   // hashOf(the bytes)

  // The identity of the regular file at path now, or nothing when there is no readable
  // regular file there. Reads the whole file; a file that changes while it is read is read
  // again (a few times at most).
  static std::optional<FileIdentity> of(const std::string &path);
  // The identity of bytes already read from a file whose modification time is mtimeNs.
  static FileIdentity ofBytes(std::string_view bytes, std::int64_t mtimeNs);
  // 64-bit FNV-1a of the bytes.
  static std::uint64_t hashOf(std::string_view bytes);

  // The same bytes, whatever the time stamps say.
  bool sameContent(const FileIdentity &o) const { return size == o.size && hash == o.hash; }
  friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};
