#include "base/system_library.h"

#include <string>

#include "base/bound_function.h"

namespace orvek::base {
namespace {

// Not declared for _WIN32_WINNT 0x0601, though KB2533623 brings it to Win 7.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

bool HasSearchFlags() noexcept {
  // The KB that adds SetDefaultDllDirectories also teaches LoadLibraryExW the
  // LOAD_LIBRARY_SEARCH_* flags, so one tells about the other.
  static const bool has = BindFunction<SetDefaultDllDirectoriesFn>(
                              ::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories") != nullptr;
  return has;
}

}  // namespace

bool RestrictDllSearchPath() noexcept {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto set_default =
      BindFunction<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
  if (set_default != nullptr && set_default(kLoadLibrarySearchSystem32)) return true;
  ::SetDllDirectoryW(L"");
  return false;
}

std::wstring SystemFolderPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring path(dir, n);
  if (path.back() != L'\\') path += L'\\';
  path += name;
  return path;
}

HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
  if (HasSearchFlags()) return ::LoadLibraryExW(name, nullptr, kLoadLibrarySearchSystem32);
  std::wstring path;
  try {
    path = SystemFolderPath(name);
  } catch (...) {
    return nullptr;
  }
  if (path.empty()) return nullptr;
  // A full path is not searched; the altered search path makes the DLL's own
  // dependencies resolve from its folder (the system folder) first.
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace orvek::base
