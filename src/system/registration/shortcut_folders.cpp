#include "system/registration/shortcut_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "log/logs.h"
#include "system/files/directories.h"
#include "system/files/removal_rules.h"

namespace orvek::system {
namespace {

const wchar_t* FolderName(InstallScope scope, ShortcutFolder folder) {
  if (scope == InstallScope::kAllUsers) {
    return folder == ShortcutFolder::kDesktop ? L"Common Desktop" : L"Common Programs";
  }
  return folder == ShortcutFolder::kDesktop ? L"Desktop" : L"Programs";
}

std::wstring CommonFolder(ShortcutFolder folder) {
  wchar_t path[MAX_PATH] = {};
  const int id = folder == ShortcutFolder::kDesktop ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_COMMON_PROGRAMS;
  if (FAILED(::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

}  // namespace

ShortcutFolders::ShortcutFolders(InstallScope scope) : scope_(scope) {
  if (scope == InstallScope::kCurrentUser) {
    key_ = RegistryKey::Open(HKEY_CURRENT_USER, kShellFoldersKey, RegistryAccess::kRead);
  }
}

std::wstring ShortcutFolders::Value(ShortcutFolder folder) const {
  if (scope_ == InstallScope::kAllUsers) return CommonFolder(folder);
  return key_ ? key_->ReadString(FolderName(scope_, folder), NonStringValue::kThrow) : std::wstring();
}

std::wstring ShortcutFolders::Checked(ShortcutFolder folder, const std::wstring& skipped) const {
  const std::wstring name = FolderName(scope_, folder);
  const std::wstring value = Value(folder);
  if (value.empty()) {
    // Joined as it is, it would put the shortcut at the current drive's root.
    log::LogWarn(name + L" folder unknown, " + skipped);
    return {};
  }
  const std::wstring full = IsAbsoluteLocation(value) ? FullPath(value) : std::wstring();
  if (!IsAbsoluteLocation(full)) {
    log::LogWarn(name + L" folder refused, " + skipped + L", " + value);
    return {};
  }
  return full;
}

}  // namespace orvek::system
