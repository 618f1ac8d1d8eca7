#include "system/hardware_values.h"

#include <vector>

#include "base/os_error.h"
#include "log/logs.h"

namespace orvek::system {

base::UniqueKey OpenLocalMachineKeyForReading(const std::wstring& subkey) {
  base::UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) !=
      ERROR_SUCCESS) {
    key.reset();
  }
  return key;
}

std::wstring ReadStringValue(HKEY key, const std::wstring& key_path, const wchar_t* name) {
  // The value can grow between the size query and the read; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::wstring();
    if (status != ERROR_SUCCESS) throw base::OsError("RegQueryValueExW", static_cast<std::uint32_t>(status));
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      log::LogWarn(L"registry value is not a string, " + key_path + L"\\" + name);
      return std::wstring();
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_FILE_NOT_FOUND) return std::wstring();
    if (status != ERROR_SUCCESS) throw base::OsError("RegQueryValueExW", static_cast<std::uint32_t>(status));
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    // The stored text need not end in a null, or may hold one early.
    std::wstring text(buffer.data(), read / sizeof(wchar_t));
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
  }
  throw base::OsError("RegQueryValueExW", ERROR_MORE_DATA);
}

}  // namespace orvek::system
