#include "system/identity/sha1.h"

#include <cstddef>

#include "base/hex.h"
#include "base/unicode.h"

namespace orvek::system {
namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

class Sha1State {
 public:
  void Block(const std::uint8_t* p) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
      w[i] = std::uint32_t{p[4 * i]} << 24 | std::uint32_t{p[4 * i + 1]} << 16 |
             std::uint32_t{p[4 * i + 2]} << 8 | std::uint32_t{p[4 * i + 3]};
    }
    for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int i = 0; i < 80; ++i) {
      std::uint32_t f = 0;
      std::uint32_t k = 0;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = Rotl(b, 30);
      b = a;
      a = t;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
  }

  Sha1Digest Digest() const {
    Sha1Digest out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = static_cast<std::uint8_t>(h_[i / 4] >> (24 - 8 * (i % 4)));
    }
    return out;
  }

 private:
  std::uint32_t h_[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
};

}  // namespace

Sha1Digest Sha1(std::string_view bytes) {
  Sha1State state;
  std::size_t offset = 0;
  for (; bytes.size() - offset >= 64; offset += 64) {
    state.Block(reinterpret_cast<const std::uint8_t*>(bytes.data() + offset));
  }
  // The tail, the 0x80 marker and the message length in bits (big endian)
  // fill one final block, or two when fewer than 9 bytes are left for them.
  std::uint8_t tail[128] = {};
  const std::size_t rest = bytes.size() - offset;
  for (std::size_t i = 0; i < rest; ++i) tail[i] = static_cast<std::uint8_t>(bytes[offset + i]);
  tail[rest] = 0x80;
  const std::size_t tail_size = rest + 9 <= 64 ? 64 : 128;
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[tail_size - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t block = 0; block < tail_size; block += 64) state.Block(tail + block);
  return state.Digest();
}

std::wstring Sha1Hex(std::string_view bytes) {
  return base::WideFromUtf8(base::HexBytes(Sha1(bytes)));
}

}  // namespace orvek::system
