#include "support/png_writer.h"

#include <zlib.h>

#include <stdexcept>

namespace orvek::test {
namespace {

void PutBigEndian32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// length, type, data, CRC-32 of type and data
void PutChunk(std::string& out, const char type[4], const std::string& data) {
  PutBigEndian32(out, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  PutBigEndian32(out, static_cast<std::uint32_t>(
                          crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                static_cast<uInt>(body.size()))));
}

}  // namespace

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  const size_t row = static_cast<size_t>(width) * 3;
  if (width <= 0 || height <= 0 || rgb.size() != row * static_cast<size_t>(height)) {
    throw std::invalid_argument("EncodePng: pixel buffer does not match the size");
  }
  // Every scanline starts with its filter type; 0 (none) keeps this simple.
  std::string raw;
  raw.reserve((row + 1) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(rgb.data()) + row * static_cast<size_t>(y), row);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("EncodePng: deflate failed");
  }
  packed.resize(packed_size);

  std::string header;
  PutBigEndian32(header, static_cast<std::uint32_t>(width));
  PutBigEndian32(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit, RGB, deflate, filter 0, no interlace

  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", "");
  return png;
}

}  // namespace orvek::test
