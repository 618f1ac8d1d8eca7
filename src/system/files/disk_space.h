// Free space of a drive, as the pre-install check compares it with its limit.
#pragma once

#include <string>

namespace orvek::system {

// Free space of the drive named by the first character of `path` (followed by
// a colon; the rest of the path is ignored), in units of 2^30 bytes, computed
// by FreeGigabytes so drives beyond 4 TiB stay exact to a 1024-sector step.
// When the drive cannot be queried (no such drive letter, a network path, an
// empty path) the result is 0, so callers read it as "too little space", and
// "GetDiskFreeSpace error: %d" is logged with the system's error code.
// UI thread.
double GetDiskFreeGB(const std::wstring& path);

}  // namespace orvek::system
