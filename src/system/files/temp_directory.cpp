#include "system/files/temp_directory.h"

#include <windows.h>

#include "base/os_error.h"

namespace orvek::system {

std::wstring GetTempDirectory() {
  // 255 characters cover every ordinary profile path; a longer TMP setting is
  // fetched with the size the system asks for instead of being cut off.
  std::wstring path(255, L'\0');
  for (;;) {
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(path.size() + 1), path.data());
    if (n == 0) throw base::OsError("GetTempPathW", ::GetLastError());
    if (n <= path.size()) {
      path.resize(n);
      return path;
    }
    path.assign(n, L'\0');  // n counts the terminating NUL here
  }
}

}  // namespace orvek::system
