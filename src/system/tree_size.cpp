#include "system/tree_size.h"

#include <windows.h>

#include "base/unique_handle.h"

namespace orvek::system {

std::uint64_t TreeBytes(const std::wstring& dir) {
  std::uint64_t total = 0;
  WIN32_FIND_DATAW found;
  const base::UniqueFindHandle search = base::MakeUniqueFindHandle(::FindFirstFileW((dir + L"\\*").c_str(), &found));
  if (!search) return 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      total += TreeBytes(dir + L"\\" + name);
    } else {
      total += (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    }
  } while (::FindNextFileW(search.get(), &found));
  return total;
}

}  // namespace orvek::system
