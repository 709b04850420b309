#include "export/BitmapFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace exporttest;

namespace {

std::uint32_t le32(const std::string &b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint16_t le16(const std::string &b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    static_cast<unsigned char>(b[at + 1]) << 8);
}

// A frame-buffer style RGBA picture, bottom row first, where every pixel has its own colour.
std::vector<std::uint8_t> patternRgba(int w, int h) {
  std::vector<std::uint8_t> px(static_cast<std::size_t>(w * h * 4));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t *p = &px[static_cast<std::size_t>((y * w + x) * 4)];
      p[0] = static_cast<std::uint8_t>(10 + 20 * x);   // red
      p[1] = static_cast<std::uint8_t>(200 - 30 * y);  // green
      p[2] = static_cast<std::uint8_t>(7 * x + 3 * y); // blue
      p[3] = 255;
    }
  return px;
}

} // namespace

// Layout of the two headers and the row padding, for widths whose byte rows are and are not
// multiples of four. Expected strides worked out by hand: 24 bits: 1 px = 3 -> 4 bytes,
// 2 px = 6 -> 8, 3 px = 9 -> 12, 4 px = 12, 5 px = 15 -> 16; 32 bits: 4 bytes per pixel.
TEST(BitmapFile, HeadersAndPaddedRowsAtEveryWidth) {
  TempDir dir;
  struct Case {
    int width, height, bits;
    std::uint32_t stride;
  };
  const Case cases[] = {{1, 3, 24, 4},  {2, 2, 24, 8},  {3, 5, 24, 12}, {4, 1, 24, 12},
                        {5, 2, 24, 16}, {3, 2, 32, 12}, {1, 1, 32, 4}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "@" +
                 std::to_string(c.bits));
    const auto rgba = patternRgba(c.width, c.height);
    const BitmapImage image = bitmapFromRgbaRows(rgba.data(), c.width, c.height, c.bits);
    const std::string path = dir.file("out.bmp");
    ASSERT_TRUE(writeBitmapFile(path, image).ok);
    const std::string b = readWholeFile(path);
    const std::uint32_t imageSize = c.stride * static_cast<std::uint32_t>(c.height);

    ASSERT_EQ(b.size(), 54u + imageSize);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(le32(b, 2), b.size());
    EXPECT_EQ(le16(b, 6), 0);
    EXPECT_EQ(le16(b, 8), 0);
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(le32(b, 22), static_cast<std::uint32_t>(c.height));
    EXPECT_EQ(le16(b, 26), 1);
    EXPECT_EQ(le16(b, 28), c.bits);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 34), imageSize);
    for (std::size_t at = 38; at < 54; at += 4)
      EXPECT_EQ(le32(b, at), 0u) << "offset " << at;

    // Every pixel in blue, green, red order, bottom row first; padding and spare bytes 0.
    const int bpp = c.bits / 8;
    for (int y = 0; y < c.height; ++y) {
      const std::size_t row = 54 + static_cast<std::size_t>(y) * c.stride;
      for (int x = 0; x < c.width; ++x) {
        const std::uint8_t *src = &rgba[static_cast<std::size_t>((y * c.width + x) * 4)];
        const std::size_t at = row + static_cast<std::size_t>(x * bpp);
        EXPECT_EQ(static_cast<std::uint8_t>(b[at]), src[2]);
        EXPECT_EQ(static_cast<std::uint8_t>(b[at + 1]), src[1]);
        EXPECT_EQ(static_cast<std::uint8_t>(b[at + 2]), src[0]);
        if (bpp == 4) {
          EXPECT_EQ(b[at + 3], 0);
        }
      }
      for (std::size_t at = row + static_cast<std::size_t>(c.width * bpp); at < row + c.stride;
           ++at)
        EXPECT_EQ(b[at], 0) << "padding at row " << y;
    }
  }
}

// Frame-buffer rows may be further apart than width x 4 (a pack alignment or a larger
// buffer); the extra bytes must not leak into the picture.
TEST(BitmapFile, ConversionHonoursSourceRowStride) {
  const int w = 2, h = 2;
  const std::size_t srcStride = 12; // 8 bytes of pixels + 4 bytes of junk per row
  std::vector<std::uint8_t> src(srcStride * h, 0xEE);
  const std::uint8_t px[2][2][4] = {{{1, 2, 3, 4}, {5, 6, 7, 8}},
                                    {{9, 10, 11, 12}, {13, 14, 15, 16}}};
  for (int y = 0; y < h; ++y)
    std::memcpy(&src[static_cast<std::size_t>(y) * srcStride], px[y], 8);
  const BitmapImage img = bitmapFromRgbaRows(src.data(), w, h, 24, srcStride);
  const std::vector<std::uint8_t> expected = {3, 2, 1, 7, 6, 5, 0, 0, 11, 10, 9, 15, 14, 13, 0, 0};
  EXPECT_EQ(img.pixels, expected);
}

// ImageMagick reads the file independently: size, and every pixel top row first.
TEST(BitmapFile, ReadBackByImageMagickMatchesEveryPixel) {
  int status = 0;
  runCommand("command -v convert >/dev/null 2>&1", status);
  if (status != 0)
    GTEST_SKIP() << "ImageMagick convert is not installed";
  TempDir dir;
  for (int bits : {24, 32}) {
    SCOPED_TRACE(bits);
    const int w = 7, h = 5;
    const auto rgba = patternRgba(w, h);
    const std::string path = dir.file("pic.bmp");
    ASSERT_TRUE(writeBitmapFile(path, bitmapFromRgbaRows(rgba.data(), w, h, bits)).ok);

    const std::string size =
        runCommand("identify -format '%w %h' " + shellQuote(path) + " 2>&1", status);
    ASSERT_EQ(status, 0) << size;
    EXPECT_EQ(size, "7 5");

    const std::string raw = dir.file("pic.rgb");
    runCommand("convert " + shellQuote(path) + " -depth 8 rgb:" + shellQuote(raw) + " 2>&1",
               status);
    ASSERT_EQ(status, 0);
    const std::string rgb = readWholeFile(raw);
    ASSERT_EQ(rgb.size(), static_cast<std::size_t>(w * h * 3));
    for (int row = 0; row < h; ++row) {
      const int y = h - 1 - row; // ImageMagick lists the top row first
      for (int x = 0; x < w; ++x) {
        const std::uint8_t *src = &rgba[static_cast<std::size_t>((y * w + x) * 4)];
        const std::size_t at = static_cast<std::size_t>((row * w + x) * 3);
        ASSERT_EQ(static_cast<std::uint8_t>(rgb[at]), src[0]) << x << "," << row;
        ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 1]), src[1]) << x << "," << row;
        ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 2]), src[2]) << x << "," << row;
      }
    }
  }
}

// A path that cannot be created fails with a message naming it, and an existing file at a
// path whose write fails is left as it was.
TEST(BitmapFile, UnwritablePathsFailAndKeepExistingFiles) {
  TempDir dir;
  const auto rgba = patternRgba(3, 3);
  const BitmapImage img = bitmapFromRgbaRows(rgba.data(), 3, 3, 24);

  writeWholeFile(dir.file("plain"), "not a folder");
  const std::string bad[] = {dir.file("missing/x.bmp"), dir.file("plain/x.bmp"),
                             "/proc/velmora-cannot-exist.bmp", dir.path() /* a folder */};
  for (const std::string &path : bad) {
    const ExportResult r = writeBitmapFile(path, img);
    EXPECT_FALSE(r.ok) << path;
    EXPECT_NE(r.message.find(path), std::string::npos) << r.message;
  }
  EXPECT_EQ(readWholeFile(dir.file("plain")), "not a folder");

  // Refused input does not touch the existing file either.
  writeWholeFile(dir.file("keep.bmp"), "old contents");
  BitmapImage shortImage = img;
  shortImage.pixels.resize(shortImage.pixels.size() - 1);
  EXPECT_FALSE(writeBitmapFile(dir.file("keep.bmp"), shortImage).ok);
  BitmapImage empty = img;
  empty.width = 0;
  EXPECT_FALSE(writeBitmapFile(dir.file("keep.bmp"), empty).ok);
  BitmapImage sixteen = img;
  sixteen.bitCount = 16;
  EXPECT_FALSE(writeBitmapFile(dir.file("keep.bmp"), sixteen).ok);
  BitmapImage huge = img;
  huge.width = 40000;
  huge.height = 40000; // 4.8 GB of pixels: beyond the format's 32-bit size field
  EXPECT_FALSE(writeBitmapFile(dir.file("keep.bmp"), huge).ok);
  EXPECT_EQ(readWholeFile(dir.file("keep.bmp")), "old contents");

  // No temporary files are left behind by any of the failures.
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"keep.bmp", "plain"}));
}
