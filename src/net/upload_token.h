// The token that signs an event upload. The event service recomputes it, so
// every character is fixed:
//
//   T = milliseconds since 1970-01-01 UTC, decimal ("1733736000123")
//   H = md5hex("0")                       (the user id's text)
//   D = md5hex(H + key + T)               (UTF-8 bytes, lower-case hex)
//   token = T[0..10) + D + T[10..) + "0"  (46 characters for present dates)
//
// Pure code: the digest is passed in, the Windows build uses CNG (md5_cng.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::net {

// The shared signing key of the event service.
inline constexpr std::string_view kSigningKey = "8B41D@0F7A!C93$5E1B%4A6D#7F2";
// The installer reports as the public user, id 0.
inline constexpr std::string_view kPublicUserId = "0";

// Lower-case hexadecimal MD5 of the bytes.
using Md5HexFunction = std::string (*)(std::string_view bytes);

// Pieces 1 to 3 of the token for the time `unix_ms`: T's first 10 digits,
// md5hex(md5hex(id) + key + T), T's remaining digits. The caller appends the
// id as piece 4.
// ("K", "0", 1733736000123) => "1733736000" + md5hex(md5hex("0")+"K1733736000123") + "123"
std::string BuildUploadToken(std::string_view key, std::string_view id, std::uint64_t unix_ms,
                             Md5HexFunction md5hex);

}  // namespace orvek::net
