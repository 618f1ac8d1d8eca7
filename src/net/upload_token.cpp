#include "net/upload_token.h"

namespace orvek::net {

std::string BuildUploadToken(std::string_view key, std::string_view id, std::uint64_t unix_ms,
                             Md5HexFunction md5hex) {
  const std::string time = std::to_string(unix_ms);
  std::string signed_text = md5hex(id);
  signed_text += key;
  signed_text += time;
  // Dates before 2001-09-09 have fewer than 10 digits: then the whole time
  // leads and nothing follows the digest.
  const std::size_t split = time.size() < 10 ? time.size() : 10;
  return time.substr(0, split) + md5hex(signed_text) + time.substr(split);
}

}  // namespace orvek::net
