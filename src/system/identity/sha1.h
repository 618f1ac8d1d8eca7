// SHA-1 (FIPS 180-4), for the client identifier. A small pure implementation:
// the identifier must come out the same on every Windows the installer meets,
// without a cryptographic provider that could be missing or refuse to load.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::system {

using Sha1Digest = std::array<std::uint8_t, 20>;

// "abc" => A9 99 3E 36 ... 9C D0 D8 9D.
Sha1Digest Sha1(std::string_view bytes);

// The digest as 40 upper-case hexadecimal digits, two per byte in digest
// order, high nibble first: "abc" => L"A9993E364706816ABA3E25717850C26C9CD0D89D".
std::wstring Sha1Hex(std::string_view bytes);

}  // namespace orvek::system
