#pragma once
// Builds session and text files byte by byte in a per-test temporary folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace testfiles {

// Little-endian byte image of a session file; counts in the header need not match the body.
struct SessionBytes {
  std::vector<char> bytes;

  SessionBytes &i32(std::int32_t v) {
    char b[4];
    std::memcpy(b, &v, 4);
    bytes.insert(bytes.end(), b, b + 4);
    return *this;
  }
  SessionBytes &f32(float v) {
    char b[4];
    std::memcpy(b, &v, 4);
    bytes.insert(bytes.end(), b, b + 4);
    return *this;
  }
  SessionBytes &header(std::int32_t format, std::int32_t n, std::int32_t t,
                       std::int32_t reserved = 0) {
    return i32(format).i32(n).i32(t).i32(reserved);
  }
  SessionBytes &vec(float x, float y, float z) { return f32(x).f32(y).f32(z); }
  SessionBytes &tri(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t normal = 0) {
    return i32(a).i32(b).i32(c).i32(normal);
  }
};

// A well-formed file: n points (i, 2i, 3i), normals (0, 0, 1), deviations i/10, triangles
// (0, 1, 2) repeated, nominal points (i, 2i, 3i - 1) when format is 16.
inline SessionBytes validSession(std::int32_t format, std::int32_t n, std::int32_t t,
                                 std::int32_t reserved = 0) {
  SessionBytes s;
  s.header(format, n, t, reserved);
  for (int i = 0; i < n; ++i)
    s.vec(float(i), float(2 * i), float(3 * i));
  for (int i = 0; i < n; ++i)
    s.vec(0, 0, 1);
  for (int i = 0; i < n; ++i)
    s.f32(float(i) / 10.0f);
  for (int i = 0; i < t; ++i)
    s.tri(0, 1 % n, 2 % n, i);
  if (format == 16)
    for (int i = 0; i < n; ++i)
      s.vec(float(i), float(2 * i), float(3 * i - 1));
  return s;
}

inline std::string tempPath(const std::string &name) {
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string base = ::testing::TempDir();
  if (!base.empty() && base.back() != '/')
    base += '/';
  return base + "velmora_" + info->test_suite_name() + "_" + info->name() + "_" + name;
}

inline std::string writeFile(const std::string &name, const void *data, std::size_t size) {
  const std::string path = tempPath(name);
  std::FILE *f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr) << path;
  if (f) {
    if (size) {
      EXPECT_EQ(std::fwrite(data, 1, size, f), size);
    }
    std::fclose(f);
  }
  return path;
}
inline std::string writeFile(const std::string &name, const std::string &text) {
  return writeFile(name, text.data(), text.size());
}
inline std::string writeFile(const std::string &name, const SessionBytes &s) {
  return writeFile(name, s.bytes.data(), s.bytes.size());
}

} // namespace testfiles
