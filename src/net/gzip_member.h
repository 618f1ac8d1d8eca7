// The upload body's compression: one gzip member (RFC 1952) written around
// zlib's raw deflate, so every header byte is ours and fixed.
//
//   offset  size  field
//   0       1     ID1 31
//   1       1     ID2 139
//   2       1     CM 8 (deflate)
//   3       1     FLG 0: no name, comment, extra field or header checksum
//   4       4     MTIME 0
//   8       1     XFL 0
//   9       1     OS 0
//   10      n     raw deflate data: level 6, 32 KiB window, memory level 9
//   10+n    4     CRC-32 of the input, little endian
//   14+n    4     input length modulo 2^32, little endian
//
// Pure code (zlib only).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace orvek::net {

class GzipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The gzip member of `bytes`; "" gives 20 bytes (header, empty deflate block,
// CRC 0, length 0). Throws GzipError when zlib refuses (out of memory).
std::string GzipMember(std::string_view bytes);

}  // namespace orvek::net
