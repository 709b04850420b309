#include "export/U3dPng.h"

#include <zlib.h>

#include <cstring>
#include <string_view>

namespace {

void putBE32(std::vector<std::uint8_t> &out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putChunk(std::vector<std::uint8_t> &out, std::string_view type,
              const std::vector<std::uint8_t> &body) {
  putBE32(out, static_cast<std::uint32_t>(body.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), body.begin(), body.end());
  // The chunk CRC covers the type and the body.
  const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
  putBE32(out, static_cast<std::uint32_t>(crc));
}

} // namespace

std::vector<std::uint8_t> encodePngRgb(int width, int height, const std::uint8_t *rgb) {
  if (width <= 0 || height <= 0 || !rgb)
    return {};
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> raw;
  raw.reserve((rowBytes + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0); // filter: none
    const std::uint8_t *row = rgb + rowBytes * static_cast<std::size_t>(y);
    raw.insert(raw.end(), row, row + rowBytes);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
    return {};
  packed.resize(packedSize);

  std::vector<std::uint8_t> ihdr;
  putBE32(ihdr, static_cast<std::uint32_t>(width));
  putBE32(ihdr, static_cast<std::uint32_t>(height));
  ihdr.push_back(8); // bit depth
  ihdr.push_back(2); // colour type RGB
  ihdr.push_back(0); // deflate
  ihdr.push_back(0); // adaptive filtering
  ihdr.push_back(0); // no interlace

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  putChunk(png, "IHDR", ihdr);
  putChunk(png, "IDAT", packed);
  putChunk(png, "IEND", {});
  return png;
}
