#include "system/files/directories.h"

#include <windows.h>

#include <string_view>

#include "base/unique_handle.h"

namespace orvek::system {

void CreateDirectories(const std::wstring& dir) {
  // Position 3 skips a drive root ("C:\"); a UNC share's first levels fail
  // harmlessly.
  for (std::size_t i = dir.find(L'\\', 3); i != std::wstring::npos; i = dir.find(L'\\', i + 1)) {
    if (dir[i - 1] == L'\\') continue;
    ::CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
  }
  ::CreateDirectoryW(dir.c_str(), nullptr);
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                       nullptr);
    if (n == 0) return {};
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.assign(n, L'\0');
  }
}

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HoldsAnything(const std::wstring& directory) {
  WIN32_FIND_DATAW found{};
  const base::UniqueFindHandle search =
      base::MakeUniqueFindHandle(::FindFirstFileW((directory + L"\\*").c_str(), &found));
  if (!search) return false;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") return true;
  } while (::FindNextFileW(search.get(), &found));
  return false;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLink(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void DeleteFileIfPresent(const std::wstring& path) {
  if (FileExists(path)) ::DeleteFileW(path.c_str());
}

}  // namespace orvek::system
