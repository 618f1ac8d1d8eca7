#include "system/processes/module_path.h"

#include "base/os_error.h"

namespace orvek::system {

std::wstring GetModulePath(HMODULE module) {
  // A return equal to the buffer size means the name was cut off: grow the
  // buffer and ask again instead of handing back a truncated path.
  constexpr size_t kLongestPath = 32768;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) throw base::OsError("GetModuleFileNameW", ::GetLastError());
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= kLongestPath) throw base::OsError("GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER);
    path.assign(path.size() * 2, L'\0');
  }
}

}  // namespace orvek::system
