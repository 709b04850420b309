#include "export/BitmapFile.h"

#include "io/AtomicFile.h"

#include <cstring>
#include <limits>

namespace {

void put16(std::uint8_t *p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t *p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The file size field is 32 bits and the width and height are signed 32-bit fields.
bool fitsFormat(int width, int height, int bitCount) {
  if (width <= 0 || height <= 0 || (bitCount != 24 && bitCount != 32))
    return false;
  const std::uint64_t image = static_cast<std::uint64_t>(BitmapImage::stride(width, bitCount)) *
                              static_cast<std::uint64_t>(height);
  return image + kBitmapHeaderSize <= std::numeric_limits<std::uint32_t>::max();
}

} // namespace

std::size_t BitmapImage::stride(int width, int bitCount) {
  if (width <= 0 || bitCount <= 0)
    return 0;
  const std::uint64_t bits = static_cast<std::uint64_t>(width) * static_cast<unsigned>(bitCount);
  return static_cast<std::size_t>((bits + 31) / 32 * 4);
}

BitmapImage bitmapFromRgbaRows(const std::uint8_t *rgba, int width, int height, int bitCount,
                               std::size_t sourceStride) {
  BitmapImage image;
  image.width = width;
  image.height = height;
  image.bitCount = bitCount;
  if (!rgba || width <= 0 || height <= 0 || (bitCount != 24 && bitCount != 32))
    return image;
  if (sourceStride == 0)
    sourceStride = static_cast<std::size_t>(width) * 4;
  const std::size_t stride = image.stride();
  const std::size_t bytesPerPixel = static_cast<std::size_t>(bitCount / 8);
  image.pixels.assign(stride * static_cast<std::size_t>(height), 0);
  // Both layouts keep the bottom row first, so rows map one to one.
  for (int y = 0; y < height; ++y) {
    const std::uint8_t *src = rgba + static_cast<std::size_t>(y) * sourceStride;
    std::uint8_t *dst = image.pixels.data() + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x, src += 4, dst += bytesPerPixel) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
  return image;
}

std::vector<std::uint8_t> bitmapFileHeaders(int width, int height, int bitCount) {
  std::vector<std::uint8_t> h(kBitmapHeaderSize, 0);
  const std::uint32_t imageSize = static_cast<std::uint32_t>(
      BitmapImage::stride(width, bitCount) * static_cast<std::size_t>(height < 0 ? 0 : height));
  h[0] = 'B';
  h[1] = 'M';
  put32(&h[2], kBitmapHeaderSize + imageSize);
  // bytes 6..9: two reserved words, 0
  put32(&h[10], kBitmapHeaderSize);
  put32(&h[14], 40);
  put32(&h[18], static_cast<std::uint32_t>(width));
  put32(&h[22], static_cast<std::uint32_t>(height)); // positive: rows stored bottom-up
  put16(&h[26], 1);
  put16(&h[28], static_cast<std::uint16_t>(bitCount));
  put32(&h[30], 0); // no compression
  put32(&h[34], imageSize);
  // resolutions, colours used and important colours stay 0
  return h;
}

ExportResult writeBitmapFile(const std::string &path, const BitmapImage &image) {
  if (!fitsFormat(image.width, image.height, image.bitCount))
    return ExportResult::failure(path + ": cannot write a bitmap of " +
                                 std::to_string(image.width) + " x " +
                                 std::to_string(image.height) + " pixels at " +
                                 std::to_string(image.bitCount) + " bits per pixel");
  const std::size_t imageSize = image.stride() * static_cast<std::size_t>(image.height);
  if (image.pixels.size() < imageSize)
    return ExportResult::failure(path + ": the bitmap holds fewer pixels than its size needs");

  AtomicFile file(path);
  const std::vector<std::uint8_t> headers =
      bitmapFileHeaders(image.width, image.height, image.bitCount);
  file.write(headers.data(), headers.size());
  file.write(image.pixels.data(), imageSize);
  if (!file.commit())
    return ExportResult::failure(file.error());
  return ExportResult::success();
}
