#include "net/md5_cng.h"

#include <cstdint>

#include "net/winhttp_api.h"
#include "system/os_error.h"

namespace orvek::net {
namespace {

void Check(NTSTATUS status, const char* operation) {
  if (status < 0) throw system::OsError(operation, static_cast<std::uint32_t>(status));
}

}  // namespace

std::string Md5Hex(std::string_view bytes) {
  const BcryptApi& api = Bcrypt();
  UniqueAlgorithm algorithm;
  Check(api.OpenAlgorithmProvider(algorithm.put(), BCRYPT_MD5_ALGORITHM, nullptr, 0),
        "BCryptOpenAlgorithmProvider");
  // Windows 7 allocates the hash object itself when given none.
  UniqueHash hash;
  Check(api.CreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
  Check(api.HashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                     static_cast<ULONG>(bytes.size()), 0),
        "BCryptHashData");
  unsigned char digest[16];
  Check(api.FinishHash(hash.get(), digest, sizeof digest, 0), "BCryptFinishHash");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char b : digest) {
    text += kHex[b >> 4];
    text += kHex[b & 0xF];
  }
  return text;
}

}  // namespace orvek::net
