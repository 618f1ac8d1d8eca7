#include "base/hex.h"

namespace orvek::base {
namespace {

const char* Digits(HexCase letters) {
  return letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
}

}  // namespace

std::string Hex(std::uint64_t value, int min_digits, HexCase letters) {
  const char* digits = Digits(letters);
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(text.size()) < min_digits) text.insert(0, min_digits - text.size(), '0');
  return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes, HexCase letters) {
  const char* digits = Digits(letters);
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 0xF];
  }
  return text;
}

}  // namespace orvek::base
