// Free-space arithmetic behind GetDiskFreeGB. Pure, so the large-drive cases
// are tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::system {

// The drive a free-space query addresses: the first character of `path` and
// a colon, no separator. L"D:\\Program Files\\x" => L"D:"; L"\\\\srv\\share"
// => L"\\:" (no drive, so the query fails); L"" => L"".
std::wstring DriveOfPath(std::wstring_view path);

// Free space in units of 2^30 bytes from the counts a drive reports, in
// unsigned 64-bit steps of 1024 sectors:
//   free sectors = free clusters * sectors per cluster
//   units        = free sectors / 1024 (remainder dropped)
//   result       = units * bytes per sector / 1048576
// So the value is exact to one 1024-sector step however large the drive:
// (8, 512, 2^31) (8 TiB free) => 8192.0.
double FreeGigabytes(std::uint64_t sectors_per_cluster, std::uint64_t bytes_per_sector,
                     std::uint64_t free_clusters);

}  // namespace orvek::system
