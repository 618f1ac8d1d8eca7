// Little-endian loads and stores on byte buffers. PE images and the installer
// fields are little-endian on every platform, and these compile to plain
// moves, so no code has to cast a buffer to a packed struct.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvek::payload {

inline std::uint16_t LoadLe16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadLe32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t LoadLe64(const std::uint8_t* p) noexcept {
  return static_cast<std::uint64_t>(LoadLe32(p)) |
         (static_cast<std::uint64_t>(LoadLe32(p + 4)) << 32);
}

inline void StoreLe16(std::uint8_t* p, std::uint16_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t v) noexcept {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace orvek::payload
