// MD5 (RFC 1321) through the system's CNG provider, for the upload token.
#pragma once

#include <string>
#include <string_view>

namespace orvek::net {

// Lower-case hexadecimal MD5 of the bytes: "" =>
// "d41d8cd98f00b204e9800998ecf8427e". Throws base::OsError when CNG fails.
std::string Md5Hex(std::string_view bytes);

}  // namespace orvek::net
