#include "system/files/disk_space.h"

#include <windows.h>

#include "log/logs.h"
#include "system/files/disk_space_math.h"

namespace orvek::system {

double GetDiskFreeGB(const std::wstring& path) {
  const std::wstring drive = DriveOfPath(path);
  DWORD sectors_per_cluster = 0;
  DWORD bytes_per_sector = 0;
  DWORD free_clusters = 0;
  DWORD total_clusters = 0;
  if (drive.empty() || !::GetDiskFreeSpaceW(drive.c_str(), &sectors_per_cluster,
                                            &bytes_per_sector, &free_clusters,
                                            &total_clusters)) {
    const DWORD error = drive.empty() ? ERROR_INVALID_NAME : ::GetLastError();
    log::LogErrorFmt(L"GetDiskFreeSpace error: %d", error);
    return 0.0;
  }
  return FreeGigabytes(sectors_per_cluster, bytes_per_sector, free_clusters);
}

}  // namespace orvek::system
