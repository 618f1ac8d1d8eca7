#include "net/md5_cng.h"

#include <cstdint>

#include "base/hex.h"
#include "base/os_error.h"
#include "net/winhttp_api.h"

namespace orvek::net {
namespace {

void Check(NTSTATUS status, const char* operation) {
  if (status < 0) throw base::OsError(operation, static_cast<std::uint32_t>(status));
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
  std::uint8_t digest[16];
  Check(api.FinishHash(hash.get(), digest, sizeof digest, 0), "BCryptFinishHash");
  return base::HexBytes(digest, base::HexCase::kLower);
}

}  // namespace orvek::net
