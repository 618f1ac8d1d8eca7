#include "app/windows_version.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orvek::app {

TWindowsVersion ClassifyWindowsVersion(unsigned major, unsigned minor) {
  struct Row {
    unsigned major, minor;
    TWindowsVersion value;
  };
  static constexpr Row kTable[] = {
      {4, 0, 0}, {4, 10, 1}, {4, 90, 2}, {5, 0, 3}, {5, 1, 4},
      {6, 0, 6}, {6, 1, 7},  {6, 2, 8},  {6, 3, 9}, {10, 0, 10},
  };
  for (const Row& row : kTable) {
    if (row.major == major && row.minor == minor) return row.value;
  }
  return 11;
}

#ifdef _WIN32
TWindowsVersion GetWindowsVersion() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExW(&info)) return 11;
  return ClassifyWindowsVersion(info.dwMajorVersion, info.dwMinorVersion);
}
#endif

}  // namespace orvek::app
