#include "records/FileIdentity.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

std::uint64_t fnv(std::uint64_t h, const unsigned char *p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    h = (h ^ p[i]) * kFnvPrime;
  return h;
}

std::int64_t mtimeOf(const struct stat &st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// One pass over an open file: false when it cannot be read or changed while it was read.
bool readOnce(int fd, FileIdentity &out) {
  struct stat before {
  }, after{};
  if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode) || ::lseek(fd, 0, SEEK_SET) != 0)
    return false;
  std::uint64_t h = kFnvOffset, size = 0;
  unsigned char buf[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return false;
    if (got == 0)
      break;
    h = fnv(h, buf, static_cast<std::size_t>(got));
    size += static_cast<std::uint64_t>(got);
  }
  if (::fstat(fd, &after) != 0 || mtimeOf(after) != mtimeOf(before) ||
      static_cast<std::uint64_t>(after.st_size) != size)
    return false;
  out = {size, mtimeOf(after), h};
  return true;
}

} // namespace

std::uint64_t FileIdentity::hashOf(std::string_view bytes) {
  return fnv(kFnvOffset, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

FileIdentity FileIdentity::ofBytes(std::string_view bytes, std::int64_t mtimeNs) {
  return {bytes.size(), mtimeNs, hashOf(bytes)};
}

std::optional<FileIdentity> FileIdentity::of(const std::string &path) {
  // Non-blocking, so that a FIFO is refused instead of waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return std::nullopt;
  std::optional<FileIdentity> id;
  for (int attempt = 0; attempt < 3 && !id; ++attempt) {
    FileIdentity f;
    if (readOnce(fd, f))
      id = f;
  }
  ::close(fd);
  return id;
}
