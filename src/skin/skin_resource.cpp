#include "skin/skin_resource.h"

#include <zlib.h>

#include "skin/skin_resource_id.h"

namespace orvek::skin {

std::string InflateGzip(const void* data, size_t size) {
  z_stream stream{};
  // 16 + MAX_WBITS: expect the gzip wrapper, whose CRC zlib then checks.
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) throw SkinResourceError("inflateInit2 failed");
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  stream.avail_in = static_cast<uInt>(size);
  std::string out;
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    rc = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (rc == Z_BUF_ERROR && stream.avail_in == 0) break;  // truncated input
  }
  inflateEnd(&stream);
  if (rc != Z_STREAM_END) throw SkinResourceError("the skin is not a complete gzip stream");
  return out;
}

SkinData LoadSkinResource(HMODULE module) {
  if (!module) module = ::GetModuleHandleW(nullptr);
  const HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(ORVEK_SKIN_RESOURCE),
                                     MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!info) throw SkinResourceError("the skin resource is missing");
  const HGLOBAL loaded = ::LoadResource(module, info);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) throw SkinResourceError("the skin resource cannot be loaded");
  return SkinData::Parse(InflateGzip(bytes, ::SizeofResource(module, info)));
}

}  // namespace orvek::skin
