#include "system/registry.h"

#include <sddl.h>

#include <exception>
#include <vector>

#include "base/os_error.h"
#include "base/unicode.h"
#include "log/logs.h"

namespace orvek::system {
namespace {

// Protected (nothing inherited from above); full access for SYSTEM and the
// built-in Administrators, inherited by subkeys.
constexpr wchar_t kAdministratorsOnlySddl[] = L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";

REGSAM Rights(RegistryAccess access) {
  return (access == RegistryAccess::kRead ? KEY_READ : KEY_ALL_ACCESS) | KEY_WOW64_32KEY;
}

}  // namespace

std::optional<RegistryKey> RegistryKey::Open(HKEY root, const std::wstring& path,
                                             RegistryAccess access) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, Rights(access), &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegistryKey(key, path);
}

std::optional<RegistryKey> RegistryKey::Create(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        Rights(RegistryAccess::kFull), nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegistryKey(key, path);
}

std::wstring RegistryKey::ReadString(const std::wstring& name, NonStringValue non_string) const {
  // The value may change between the size query and the read; ask again
  // then, a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return {};
    if (status != ERROR_SUCCESS) throw base::OsError("RegQueryValueExW", static_cast<DWORD>(status));
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      if (non_string == NonStringValue::kThrow) {
        throw RegistryTypeError("registry value " + base::Utf8FromWide(name) + " is not a string");
      }
      log::LogWarn(L"registry value is not a string, " + path_ + L"\\" + name);
      return {};
    }
    // One spare character: stored text need not end in a NUL.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(buffer.data()), &read);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_FILE_NOT_FOUND) return {};
    if (status != ERROR_SUCCESS) throw base::OsError("RegQueryValueExW", static_cast<DWORD>(status));
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    const std::wstring text(buffer.data(), read / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
  }
  throw base::OsError("RegQueryValueExW", ERROR_MORE_DATA);
}

void RegistryKey::WriteString(const std::wstring& name, const std::wstring& value) {
  const LONG status = ::RegSetValueExW(key_.get(), name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) throw base::OsError("RegSetValueExW", static_cast<DWORD>(status));
}

void RegistryKey::WriteDword(const std::wstring& name, DWORD value) {
  const LONG status = ::RegSetValueExW(key_.get(), name.c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&value), sizeof value);
  if (status != ERROR_SUCCESS) throw base::OsError("RegSetValueExW", static_cast<DWORD>(status));
}

void RegistryKey::DeleteKeyTree(const std::wstring& sub_key) {
  // A registry link below the key is opened as the link, which has no
  // subkeys, so the walk never descends into the key it points at.
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(key_.get(), sub_key.c_str(), REG_OPTION_OPEN_LINK,
                      Rights(RegistryAccess::kFull), &raw) == ERROR_SUCCESS) {
    RegistryKey sub(raw, path_ + L"\\" + sub_key);
    DWORD count = 0;
    DWORD longest = 0;
    if (::RegQueryInfoKeyW(sub.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      std::vector<wchar_t> name(longest + 1);
      for (DWORD i = count; i-- > 0;) {
        DWORD length = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(sub.get(), i, name.data(), &length, nullptr, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS) {
          sub.DeleteKeyTree(std::wstring(name.data(), length));
        }
      }
    }
  }
  ::RegDeleteKeyExW(key_.get(), sub_key.c_str(), KEY_WOW64_32KEY, 0);
}

std::vector<std::wstring> RegistryKey::SubKeyNames() const {
  std::vector<std::wstring> names;
  DWORD longest = 0;
  if (::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return names;
  }
  std::vector<wchar_t> name(longest + 1);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (::RegEnumKeyExW(key_.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return names;
    }
    names.emplace_back(name.data(), length);
  }
}

void RegistryKey::CopyTreeFrom(const RegistryKey& source) {
  const LONG status = ::RegCopyTreeW(source.get(), nullptr, key_.get());
  if (status != ERROR_SUCCESS) throw base::OsError("RegCopyTreeW", static_cast<DWORD>(status));
}

void RegistryKey::RestrictToAdministrators() {
  base::UniqueLocalMemory descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlySddl, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
    throw base::OsError("ConvertStringSecurityDescriptorToSecurityDescriptorW", ::GetLastError());
  }
  const LONG status =
      ::RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor.get());
  if (status != ERROR_SUCCESS) throw base::OsError("RegSetKeySecurity", static_cast<DWORD>(status));
}

bool DeleteRegistryKey(const std::wstring& parent_key, const std::wstring& sub_key, HKEY root) {
  try {
    if (std::optional<RegistryKey> parent = RegistryKey::Open(root, parent_key, RegistryAccess::kFull)) {
      parent->DeleteKeyTree(sub_key);
    }
    return true;
  } catch (const std::exception& e) {
    log::LogError(L"del registry error, " + base::WideFromUtf8(e.what()) + L", path " + parent_key +
                  L", key " + sub_key);
    return false;
  }
}

}  // namespace orvek::system
