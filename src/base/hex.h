// Hexadecimal text of numbers and byte strings. Pure code.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace orvek::base {

enum class HexCase { kUpper, kLower };

// `value` in hexadecimal without a prefix, padded with zeros to at least
// `min_digits`: 0x1F => "1F"; (0x1F, 4) => "001F"; (0xAB, 1, kLower) => "ab".
std::string Hex(std::uint64_t value, int min_digits = 1, HexCase letters = HexCase::kUpper);

// Two digits per byte, high nibble first, in order: {0x0A, 0xFF} => "0AFF".
std::string HexBytes(std::span<const std::uint8_t> bytes, HexCase letters = HexCase::kUpper);

}  // namespace orvek::base
