#include "support/links.h"

#include <windows.h>

#include <string>

#include "support/child_process.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

using UnixFileNameFn = char*(CDECL*)(const wchar_t*);

UnixFileNameFn WineUnixFileName() {
  return reinterpret_cast<UnixFileNameFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

std::wstring UnixPath(UnixFileNameFn unix_name, const fs::path& path) {
  char* name = unix_name(path.wstring().c_str());
  if (name == nullptr) return {};
  const int length = static_cast<int>(std::char_traits<char>::length(name));
  std::wstring wide(::MultiByteToWideChar(CP_UTF8, 0, name, length, nullptr, 0), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, name, length, wide.data(), static_cast<int>(wide.size()));
  ::HeapFree(::GetProcessHeap(), 0, name);
  return wide;
}

}  // namespace

bool MakeSymbolicLink(const fs::path& target, const fs::path& link) {
  if (UnixFileNameFn unix_name = WineUnixFileName()) {
    // Wine starts a Unix program given by its Unix path on drive Z:.
    ChildProcess ln = ChildProcess::Start(L"Z:\\bin\\ln", {L"-s", UnixPath(unix_name, target), UnixPath(unix_name, link)});
    // Wine reports neither a real exit code nor the end of a Unix program
    // reliably; the link itself tells.
    ln.WaitForExit(20000);
    for (int i = 0; i < 200 && ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(25);
    return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  const DWORD flags = fs::is_directory(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
  return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) != 0;
}

void RemoveLink(const fs::path& link) {
  if (UnixFileNameFn unix_name = WineUnixFileName()) {
    // Wine's own calls would go through a Unix link to what it points at.
    ChildProcess rm = ChildProcess::Start(L"Z:\\bin\\rm", {L"-f", UnixPath(unix_name, link)});
    rm.WaitForExit(20000);
    for (int i = 0; i < 200 && ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(25);
    return;
  }
  if (!::RemoveDirectoryW(link.c_str())) ::DeleteFileW(link.c_str());
}

bool MakeHardLink(const fs::path& target, const fs::path& link) {
  return ::CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != 0;
}

}  // namespace orvek::test
