#include "net/gzip_member.h"

#include <zlib.h>

#include <cstdint>

namespace orvek::net {
namespace {

void AppendLittleEndian32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Owns the deflate state, so a failure between init and end cannot leak it.
class RawDeflate {
 public:
  RawDeflate() {
    // Negative window bits: raw deflate, no zlib or gzip wrapper of zlib's own.
    if (deflateInit2(&stream_, 6, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
      throw GzipError("deflateInit2 failed");
  }
  RawDeflate(const RawDeflate&) = delete;
  RawDeflate& operator=(const RawDeflate&) = delete;
  ~RawDeflate() { deflateEnd(&stream_); }

  void Compress(std::string_view bytes, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + deflateBound(&stream_, static_cast<uLong>(bytes.size())));
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream_.avail_in = static_cast<uInt>(bytes.size());
    stream_.next_out = reinterpret_cast<Bytef*>(out.data() + start);
    stream_.avail_out = static_cast<uInt>(out.size() - start);
    // deflateBound leaves room for everything, so one call finishes the stream.
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) throw GzipError("deflate failed");
    out.resize(start + stream_.total_out);
  }

 private:
  z_stream stream_{};
};

}  // namespace

std::string GzipMember(std::string_view bytes) {
  static constexpr char kHeader[10] = {31, static_cast<char>(139), 8, 0, 0, 0, 0, 0, 0, 0};
  std::string out(kHeader, sizeof kHeader);
  RawDeflate().Compress(bytes, out);
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                          static_cast<uInt>(bytes.size()));
  AppendLittleEndian32(out, static_cast<std::uint32_t>(crc));
  AppendLittleEndian32(out, static_cast<std::uint32_t>(bytes.size()));
  return out;
}

}  // namespace orvek::net
