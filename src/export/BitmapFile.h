#pragma once
#include "io/ExportResult.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Uncompressed Windows bitmap pixels: rows bottom-up, each padded to a multiple of 4 bytes,
// pixels blue, green, red (24 bits) or blue, green, red, spare byte (32 bits).
struct BitmapImage {
  int width = 0;
  int height = 0;
  int bitCount = 24; // 24 or 32
  std::vector<std::uint8_t> pixels;

  // Bytes per stored row: width x bit count rounded up to whole 32-bit words.
  static std::size_t stride(int width, int bitCount);
  std::size_t stride() const { return stride(width, bitCount); }
};

// Size of the file header (14) plus the information header (40); also where the pixels
// start, as no colour table is written for 24 and 32 bits.
constexpr std::uint32_t kBitmapHeaderSize = 54;

// Converts rows as an RGBA frame-buffer read returns them (bottom-up, 4 bytes per pixel,
// rows `sourceStride` bytes apart, 0 meaning width x 4) into bitmap pixels of the given bit
// count. The spare byte of 32-bit pixels is 0.
BitmapImage bitmapFromRgbaRows(const std::uint8_t *rgba, int width, int height, int bitCount,
                               std::size_t sourceStride = 0);

// The two headers of a bitmap file for this image, as they stand at the start of the file.
std::vector<std::uint8_t> bitmapFileHeaders(int width, int height, int bitCount);

// Writes the bitmap file (headers, then the rows) through a temporary file that replaces
// `path` only when complete. Refuses sizes that the format cannot hold and pixel buffers
// shorter than stride x height.
ExportResult writeBitmapFile(const std::string &path, const BitmapImage &image);
