#pragma once
// The readers open files by path; an in-memory file reached through /proc keeps each
// fuzzing iteration off the disk.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

class FuzzFile {
public:
  FuzzFile() : fd_(memfd_create("fuzz-input", 0)) {
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  const std::string &write(const std::uint8_t *data, std::size_t size) {
    if (ftruncate(fd_, 0) != 0 ||
        (size && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) {
      std::perror("fuzz input");
      std::abort();
    }
    return path_;
  }

private:
  int fd_;
  std::string path_;
};
