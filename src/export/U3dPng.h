#pragma once
#include <cstdint>
#include <vector>

// Encodes 8-bit RGB pixels (rows from the top, R, G, B per pixel) as a PNG file (colour
// type 2, no interlace). Returns an empty vector when compression fails.
std::vector<std::uint8_t> encodePngRgb(int width, int height, const std::uint8_t *rgb);
