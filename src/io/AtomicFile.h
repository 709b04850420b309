#pragma once
#include "io/ExportResult.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// A file written under a temporary name in the target's folder and renamed over the target
// only when it is complete, so readers see either the old file or the whole new one.
//
// Usage: construct, check ok(), write(), then commit(); destroying an uncommitted file
// removes the temporary. The temporary is named ".NAME.velmora-tmp-PID-XXXXXX" (NAME cut to
// 200 bytes); constructing removes such files of the same target whose process has ended,
// the remains of a write that was killed. The first failure sticks: later writes are ignored and
// commit() fails with the first message. Messages name the target file and the reason.
class AtomicFile {
public:
  static constexpr std::size_t kDefaultBufferSize = std::size_t{8} << 20;

  explicit AtomicFile(std::string targetPath, std::size_t bufferSize = kDefaultBufferSize);
  ~AtomicFile();
  AtomicFile(const AtomicFile &) = delete;
  AtomicFile &operator=(const AtomicFile &) = delete;

  bool ok() const { return error_.empty(); }
  const std::string &error() const { return error_; }
  const std::string &targetPath() const { return target_; }

  // Whether commit() forces the data to disk before the rename (default on: without it a
  // crash soon after the rename can leave an empty file where the old one was).
  void setSync(bool sync) { sync_ = sync; }

  bool write(const void *data, std::size_t size);
  bool write(std::string_view text) { return write(text.data(), text.size()); }

  // Direct access for formatters: returns room for at least `size` bytes (size must not
  // exceed the buffer size) and later advance(used) with used <= size. Returns nullptr after
  // a failure.
  char *reserve(std::size_t size);
  void advance(std::size_t used) { used_ += used; }

  // Flushes, optionally syncs, closes and renames over the target. False with error() on any
  // failure; the temporary is then removed and an existing target is left untouched.
  bool commit();
  // Drops the temporary without touching the target.
  void discard();

  // After a successful commit: the modification time (nanoseconds since 1970) of the file
  // now at the target, as it was when its bytes were complete.
  std::int64_t committedMtimeNs() const { return committedMtimeNs_; }

  // The part of a temporary's name before the process id, for the target's base name.
  static std::string tempPrefix(const std::string &baseName);

private:
  bool flushBuffer();
  bool writeAll(const char *data, std::size_t size);
  void fail(const std::string &what, int err);
  void removeStaleTemporaries(const std::string &prefix);

  std::string target_;
  std::string tempName_; // relative to dirFd_
  std::string baseName_; // the target's name relative to dirFd_
  int dirFd_ = -1;
  int fd_ = -1;
  bool sync_ = true;
  bool done_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::int64_t committedMtimeNs_ = 0;
  std::string error_;
};

// Why target must not be written while input is being read, or empty when it may: the two
// name the same file (same device and inode, or the same path once links and "." or ".."
// are resolved). Every write of the program checks its target against its input with this,
// so that no export, snapshot or table ever lands on the measurement it came from.
std::string targetIsInputProblem(const std::string &target, const std::string &input);

// Writes target through an AtomicFile that write fills: when write fails (or a write to the
// file did), the temporary is discarded and the message names the target; otherwise target
// is replaced.
ExportResult writeAtomically(const std::string &target,
                             const std::function<ExportResult(AtomicFile &)> &write);

// Why an existing file of stat mode `mode` at target must not be replaced (a folder, a
// device, FIFO or socket), or empty for a regular file.
std::string replaceProblem(const std::string &target, unsigned mode);
