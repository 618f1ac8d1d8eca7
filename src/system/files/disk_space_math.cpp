#include "system/files/disk_space_math.h"

namespace orvek::system {

std::wstring DriveOfPath(std::wstring_view path) {
  if (path.empty()) return std::wstring();
  return std::wstring(1, path.front()) + L':';
}

double FreeGigabytes(std::uint64_t sectors_per_cluster, std::uint64_t bytes_per_sector,
                     std::uint64_t free_clusters) {
  const std::uint64_t free_sectors = free_clusters * sectors_per_cluster;
  const std::uint64_t units = free_sectors / 1024;
  const std::uint64_t value = units * bytes_per_sector;
  return static_cast<double>(value) / 1048576.0;
}

}  // namespace orvek::system
