// A minimal PNG encoder (8-bit RGB, no interlace) for test screenshots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvek::test {

// `rgb` holds `height` rows of `width` pixels, 3 bytes each (R, G, B), top
// row first, no padding. Returns the complete PNG file.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace orvek::test
