// Registry keys as the 32-bit installer sees them.
//
// Every key is opened in the 32-bit view (KEY_WOW64_32KEY): it is what the
// i686 product gets by default, and passing it explicitly makes the x86_64
// test build read and write the same branch below HKLM\Software
// (Wow6432Node on a 64-bit system). Under HKCU the views are one.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/unique_handle.h"

namespace orvek::system {

// Raised by RegistryKey::ReadString for a value that holds something other
// than text, when the caller asks for that.
class RegistryTypeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a key is opened for: full access only where a value is written or a
// key deleted, so a read never needs (or asks for) more than reading.
enum class RegistryAccess { kRead, kFull };

// What ReadString does with a value that is not text.
enum class NonStringValue {
  kReadAsEmpty,  // logs "registry value is not a string, <key path>\<name>"
  kThrow,        // raises RegistryTypeError
};

class RegistryKey {
 public:
  // Opens `path` below `root` without creating it. nullopt when it cannot be
  // opened (missing, or access denied).
  static std::optional<RegistryKey> Open(HKEY root, const std::wstring& path,
                                         RegistryAccess access);
  // Opens `path` below `root` with full access, creating it and any missing
  // parents. nullopt when that fails.
  static std::optional<RegistryKey> Create(HKEY root, const std::wstring& path);

  // The text of value `name`: REG_SZ or REG_EXPAND_SZ (not expanded), cut at
  // its first NUL. A missing value reads as empty; a value of another type
  // as `non_string` says. Throws base::OsError when the read fails otherwise
  // (also when the value keeps growing between size query and read).
  std::wstring ReadString(const std::wstring& name,
                          NonStringValue non_string = NonStringValue::kReadAsEmpty) const;

  // Writes `value` as REG_SZ. Throws base::OsError on failure.
  void WriteString(const std::wstring& name, const std::wstring& value);

  // Writes `value` as REG_DWORD. Throws base::OsError on failure.
  void WriteDword(const std::wstring& name, DWORD value);

  // Deletes `sub_key` with every key below it: each key's subkeys from the
  // last index to the first, deepest first, then the key. Failures of single
  // deletions are not reported (what can be deleted is). Missing: nothing.
  void DeleteKeyTree(const std::wstring& sub_key);

  // The names of the subkeys directly below, in the registry's order; empty
  // when they cannot be listed.
  std::vector<std::wstring> SubKeyNames() const;

  // Copies every value and subkey of `source` into this key, overwriting
  // values of the same name. Throws base::OsError on failure.
  void CopyTreeFrom(const RegistryKey& source);

  // Only the built-in Administrators and SYSTEM may open the key from now
  // on, with every right, whatever the keys above allow; subkeys created
  // later inherit that where the system hands entries down (Windows does,
  // Wine does not). Needs a key opened with full access. Throws
  // base::OsError on failure.
  void RestrictToAdministrators();

  HKEY get() const noexcept { return key_.get(); }

 private:
  RegistryKey(HKEY key, std::wstring path) noexcept : key_(key), path_(std::move(path)) {}
  base::UniqueKey key_;
  std::wstring path_;  // as opened, for log lines
};

// Deletes `sub_key` of `parent_key` below `root` with all its subkeys. A
// missing parent is no failure. False only when a failure was raised, then
// with "del registry error, <message>, path <parent>, key <sub>" logged.
bool DeleteRegistryKey(const std::wstring& parent_key, const std::wstring& sub_key, HKEY root);

}  // namespace orvek::system
