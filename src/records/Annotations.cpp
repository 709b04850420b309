#include "records/Annotations.h"

#include "session/SessionModel.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>

static_assert(sizeof(Vec3f) == 12);

std::uint32_t pointBlockChecksum(const Vec3f *points, std::size_t count) {
  uLong crc = crc32_z(0L, Z_NULL, 0);
  if (!points || count == 0)
    return static_cast<std::uint32_t>(crc);
  if constexpr (std::endian::native == std::endian::little) {
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(points), count * sizeof(Vec3f));
  } else {
    // The checksum is defined on the file's byte order, whatever the machine's.
    unsigned char buf[12 * 4096];
    for (std::size_t done = 0; done < count;) {
      const std::size_t n = std::min<std::size_t>(4096, count - done);
      std::memcpy(buf, points + done, n * 12);
      for (std::size_t i = 0; i < n * 3; ++i)
        std::reverse(buf + 4 * i, buf + 4 * i + 4);
      crc = crc32_z(crc, buf, n * 12);
      done += n;
    }
  }
  return static_cast<std::uint32_t>(crc);
}

ModelIdentity ModelIdentity::of(const SessionModel &model) {
  ModelIdentity id;
  id.fileName = std::filesystem::path(model.path).filename().string();
  id.pointCount = std::max(model.pointCount, 0);
  const std::size_t n = std::min(static_cast<std::size_t>(id.pointCount), model.points.size());
  id.checksum = pointBlockChecksum(model.points.data(), n);
  return id;
}

namespace {
std::string hex8(std::uint32_t v) {
  char buf[16];
  static const char *digits = "0123456789abcdef";
  for (int i = 7; i >= 0; --i, v >>= 4)
    buf[i] = digits[v & 15];
  return std::string(buf, 8);
}
} // namespace

ModelMatch matchesModel(const Annotations &a, const ModelIdentity &model) {
  ModelMatch m;
  const std::string whose =
      a.session.fileName.empty() ? std::string("another model") : "'" + a.session.fileName + "'";
  if (a.session.pointCount != model.pointCount)
    m.problem = "the annotations are for " + whose + " with " +
                std::to_string(a.session.pointCount) + " points; this model has " +
                std::to_string(model.pointCount);
  else if (a.session.checksum != model.checksum)
    m.problem = "the annotations are for " + whose +
                " with other point coordinates (checksum crc32:" + hex8(a.session.checksum) +
                ", this model crc32:" + hex8(model.checksum) + ")";
  else if (!a.session.fileName.empty() && a.session.fileName != model.fileName)
    m.note = "the annotations were saved for '" + a.session.fileName +
             "', a file with the same points as '" + model.fileName + "'";
  return m;
}

std::string sidecarPathFor(const std::string &sessionPath) { return sessionPath + ".velmora.json"; }
