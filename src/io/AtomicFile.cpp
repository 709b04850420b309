#include "io/AtomicFile.h"

#include "io/FileKind.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longest target name kept in the temporary's name; the rest of a long name is dropped so
// that ".<name>.velmora-tmp-<pid>-XXXXXX" still fits the file system's name limit.
constexpr std::size_t kMaxTempStem = 200;
constexpr std::size_t kSuffixLength = 6;

bool processAlive(long pid) {
  if (pid <= 0 || pid > INT_MAX)
    return false;
  // EPERM: the process exists but belongs to someone else.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The process id in a temporary's name after its prefix ("<pid>-XXXXXX"), or -1 when the
// rest is not of that form.
long tempOwner(std::string_view rest) {
  const std::size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 10 ||
      rest.size() - dash - 1 != kSuffixLength)
    return -1;
  long pid = 0;
  for (std::size_t i = 0; i < dash; ++i) {
    if (rest[i] < '0' || rest[i] > '9')
      return -1;
    pid = pid * 10 + (rest[i] - '0');
  }
  for (char c : rest.substr(dash + 1))
    if (!std::isalnum(static_cast<unsigned char>(c)))
      return -1;
  return pid;
}

int openDirectoryAt(int at, const char *path) {
  int fd = ::openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) // searchable but not readable: still usable as a base
    fd = ::openat(at, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
  return fd;
}

// Opens a folder of any path length: short paths in one call, longer ones one component at
// a time so that the system's path length limit does not apply.
int openDirectory(const std::string &dir) {
  if (dir.size() < PATH_MAX - 1)
    return openDirectoryAt(AT_FDCWD, dir.c_str());
  int fd = openDirectoryAt(AT_FDCWD, dir[0] == '/' ? "/" : ".");
  std::size_t pos = 0;
  while (fd >= 0 && pos < dir.size()) {
    const std::size_t next = dir.find('/', pos);
    const std::size_t end = next == std::string::npos ? dir.size() : next;
    if (end > pos) {
      const std::string part = dir.substr(pos, end - pos);
      const int child = openDirectoryAt(fd, part.c_str());
      const int saved = errno;
      ::close(fd);
      errno = saved;
      fd = child;
    }
    pos = end + 1;
  }
  return fd;
}

std::string randomSuffix() {
  static thread_local std::mt19937_64 rng(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      static_cast<std::uint64_t>(::getpid()));
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(kSuffixLength, 'x');
  for (char &c : s)
    c = kChars[rng() % (sizeof(kChars) - 1)];
  return s;
}

} // namespace

AtomicFile::AtomicFile(std::string targetPath, std::size_t bufferSize)
    : target_(std::move(targetPath)), capacity_(bufferSize < 4096 ? 4096 : bufferSize) {
  if (target_.empty()) {
    error_ = "no file name given";
    return;
  }
  const std::size_t slash = target_.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target_.substr(0, slash);
  if (slash == 0)
    dir = "/";
  baseName_ = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  if (baseName_.empty() || baseName_ == "." || baseName_ == "..") {
    error_ = target_ + ": not a file name";
    return;
  }

  dirFd_ = openDirectory(dir);
  if (dirFd_ < 0) {
    fail("cannot open the folder " + dir, errno);
    return;
  }
  struct stat st;
  if (::fstatat(dirFd_, baseName_.c_str(), &st, 0) == 0) {
    error_ = replaceProblem(target_, st.st_mode);
    if (!error_.empty())
      return;
  }

  const std::string prefix = tempPrefix(baseName_);
  removeStaleTemporaries(prefix);
  const std::string stem = prefix + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem + randomSuffix();
    // 0666 lets the umask decide, as for any newly created file.
    fd_ = ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      tempName_ = std::move(name);
      break;
    }
    if (errno != EEXIST)
      break;
  }
  if (fd_ < 0) {
    fail("cannot create a file in " + dir, errno);
    return;
  }
  buffer_.reset(new (std::nothrow) char[capacity_]);
  if (!buffer_)
    fail("cannot allocate the write buffer", ENOMEM);
}

std::string AtomicFile::tempPrefix(const std::string &baseName) {
  return "." + baseName.substr(0, kMaxTempStem) + ".velmora-tmp-";
}

void AtomicFile::removeStaleTemporaries(const std::string &prefix) {
  // A folder opened for search only cannot be listed; then nothing is cleaned.
  const int listFd = ::openat(dirFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0)
    return;
  DIR *dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return;
  }
  while (const dirent *e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    const long pid = tempOwner(name.substr(prefix.size()));
    if (pid < 0 || processAlive(pid))
      continue; // a write in progress, here or in another process
    struct stat st {};
    if (::fstatat(dirFd_, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(dirFd_, e->d_name, 0);
  }
  ::closedir(dir);
}

AtomicFile::~AtomicFile() {
  discard();
  if (dirFd_ >= 0)
    ::close(dirFd_);
}

void AtomicFile::fail(const std::string &what, int err) {
  if (!error_.empty())
    return;
  error_ = target_ + ": " + what + ": " + std::strerror(err);
}

bool AtomicFile::writeAll(const char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      fail("write failed", errno);
      return false;
    }
    if (n == 0) {
      fail("write failed", ENOSPC);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicFile::flushBuffer() {
  if (!ok() || fd_ < 0)
    return false;
  const std::size_t n = used_;
  used_ = 0;
  return writeAll(buffer_.get(), n);
}

bool AtomicFile::write(const void *data, std::size_t size) {
  if (!ok() || fd_ < 0)
    return false;
  const char *p = static_cast<const char *>(data);
  if (used_ + size <= capacity_) {
    std::memcpy(buffer_.get() + used_, p, size);
    used_ += size;
    return true;
  }
  if (!flushBuffer())
    return false;
  if (size >= capacity_) // large blocks go straight to the file, without a copy
    return writeAll(p, size);
  std::memcpy(buffer_.get(), p, size);
  used_ = size;
  return true;
}

char *AtomicFile::reserve(std::size_t size) {
  if (!ok() || fd_ < 0 || size > capacity_)
    return nullptr;
  if (capacity_ - used_ < size && !flushBuffer())
    return nullptr;
  return buffer_.get() + used_;
}

bool AtomicFile::commit() {
  if (done_)
    return ok();
  if (ok() && fd_ >= 0 && flushBuffer()) {
    if (sync_ && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
      fail("cannot write the file to disk", errno);
    if (struct stat st{}; ::fstat(fd_, &st) == 0)
      committedMtimeNs_ =
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // The close result matters: network file systems report write errors only here.
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR)
      fail("closing failed", errno);
    if (ok() && ::renameat(dirFd_, tempName_.c_str(), dirFd_, baseName_.c_str()) != 0)
      fail("cannot replace the file", errno);
    if (ok()) {
      tempName_.clear();
      if (sync_)
        ::fsync(dirFd_); // best effort: makes the rename itself durable where supported
    }
  }
  done_ = true;
  const bool success = ok();
  discard();
  return success;
}

void AtomicFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempName_.empty() && dirFd_ >= 0) {
    ::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
  }
  if (!done_) {
    done_ = true;
    if (error_.empty())
      error_ = target_ + ": the file was not completed";
  }
}

std::string replaceProblem(const std::string &target, unsigned mode) {
  if (S_ISDIR(mode))
    return target + ": is a folder";
  // The rename would put a regular file in the place of a device, FIFO or socket (as root,
  // /dev/null itself): only regular files are ever replaced.
  if (!S_ISREG(mode))
    return target + ": not a regular file: " + fileKindOf(mode) +
           "; only regular files are written";
  return {};
}

std::string targetIsInputProblem(const std::string &target, const std::string &input) {
  if (target.empty() || input.empty())
    return {};
  bool same = false;
  struct stat a, b;
  if (::stat(target.c_str(), &a) == 0 && ::stat(input.c_str(), &b) == 0)
    same = a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  if (!same) {
    // A file that is gone (moved or deleted since it was read) has no inode to compare: the
    // resolved paths decide.
    std::error_code e1, e2;
    const auto t = std::filesystem::weakly_canonical(std::filesystem::absolute(target, e1), e1);
    const auto i = std::filesystem::weakly_canonical(std::filesystem::absolute(input, e2), e2);
    same = !e1 && !e2 && t == i;
  }
  if (!same)
    return {};
  return target + ": this is the input file " + input +
         "; it is never overwritten, choose another file name";
}

ExportResult writeAtomically(const std::string &target,
                             const std::function<ExportResult(AtomicFile &)> &write) {
  AtomicFile file(target);
  if (!file.ok())
    return ExportResult::failure(file.error());
  const ExportResult r = write(file);
  if (!r.ok) {
    const std::string why = file.ok() ? target + ": " + r.message : file.error();
    file.discard();
    return ExportResult::failure(why);
  }
  if (!file.commit())
    return ExportResult::failure(file.error());
  return ExportResult::success();
}
