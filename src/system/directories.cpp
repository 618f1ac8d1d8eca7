#include "system/directories.h"

#include <windows.h>

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
