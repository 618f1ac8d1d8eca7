#include "system/installations/previous_installations.h"

#include <exception>
#include <optional>

#include "log/logs.h"
#include "base/text.h"
#include "base/unicode.h"
#include "system/files/directories.h"
#include "system/files/directory_removal.h"
#include "system/files/removal_rules.h"
#include "system/files/temp_directory.h"
#include "system/installations/recoverable_steps.h"
#include "system/registry.h"

namespace orvek::system {
namespace {

std::wstring EnvironmentVariable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.assign(n, L'\0');
  }
}

// The temporary folder is the user's, and anything may stand at the backup's
// name: a symbolic or hard link to a file elsewhere above all. The copy goes
// to a new file of a fresh name (never opened if something is there), which
// then replaces the entry at the backup's name: a link there is replaced as
// a name, its target never written.
void CopyConfiguration(const std::wstring& location, const std::wstring& backup_name) {
  const std::wstring source = location + L"\\app.cfg";
  const DWORD attributes = ::GetFileAttributesW(source.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    return;
  }
  const std::wstring backup = GetTempDirectory() + L"\\" + backup_name;
  const std::wstring fresh = backup + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                             std::to_wstring(::GetTickCount64()) + L".new";
  if (!::CopyFileW(source.c_str(), fresh.c_str(), TRUE)) return;
  if (!::MoveFileExW(fresh.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(fresh.c_str());
    return;
  }
  log::LogInfo(L"app.cfg backed up, " + source + L" to " + backup);
}

void BackUpConfiguration(const std::wstring& location, const std::wstring& backup_name) {
  try {
    CopyConfiguration(location, backup_name);
  } catch (const std::exception& e) {
    log::LogWarn(L"backup of app.cfg failed, " + base::WideFromUtf8(e.what()));
  }
}

}  // namespace

std::wstring ReadRegistryString(const std::wstring& key, const std::wstring& value_name, HKEY root) {
  const std::optional<RegistryKey> opened = RegistryKey::Open(root, key, RegistryAccess::kRead);
  if (!opened) return {};
  try {
    return DirectoryPart(opened->ReadString(value_name));
  } catch (const std::exception& e) {
    log::LogWarn(L"registry value cannot be read, " + key + L"\\" + value_name + L", " +
                 base::WideFromUtf8(e.what()));
  }
  return {};
}

PreviousInstallations FindPreviousInstallations() {
  PreviousInstallations found;
  found.root_key_v50 = HKEY_CURRENT_USER;
  found.uninstall_v49 = ReadRegistryString(kUninstallKeyV49, L"UninstallString", HKEY_CURRENT_USER);
  found.uninstall_all_users =
      ReadRegistryString(kUninstallKeyV49, L"UninstallString", HKEY_LOCAL_MACHINE);
  found.uninstall_v50 = ReadRegistryString(kUninstallKeyV50, L"UninstallString", HKEY_CURRENT_USER);
  if (found.uninstall_v50.empty()) {
    found.root_key_v50 = HKEY_LOCAL_MACHINE;
    found.uninstall_v50 =
        ReadRegistryString(kUninstallKeyV50, L"UninstallString", HKEY_LOCAL_MACHINE);
  }
  found.uninstall_v50 = CutAtDriveLetter(found.uninstall_v50);
  return found;
}

void RemoveInstallationV49(const std::wstring& location, UpgradeSteps& steps, const std::wstring& backup_name,
                           const std::function<void()>& before_emptying,
                           const std::function<bool(const std::wstring&)>& must_write) {
  log::LogInfo(L"begin to uninstall oldversion " + location);
  BackUpConfiguration(location, backup_name);
  if (before_emptying) {
    try {
      before_emptying();
    } catch (const std::exception& e) {
      log::LogWarn(L"removal progress not shown, " + base::WideFromUtf8(e.what()));
    }
  }
  steps.Run(MoveAsideStep(location, must_write));
  // A location without a drive would name the current drive's root instead.
  if (const std::wstring drive = DrivePart(location); !drive.empty()) {
    steps.Run(MoveShortcutAsideStep(drive + L"\\" + kShortcutName + L".lnk"));
  }
  log::LogInfo(L"uninstall oldversion end");
}

void RemoveInstallationV50(const std::wstring& location, HKEY root_key_v50, UpgradeSteps& steps,
                           const std::wstring& backup_name,
                           const std::function<bool(const std::wstring&)>& must_write) {
  log::LogInfo(L"begin to uninstall oldversion " + location);
  BackUpConfiguration(location, backup_name);
  steps.Run(MoveAsideStep(location, must_write));
  log::LogInfo(L"uninstall oldversion end");
  log::LogInfo(L"begin to delete v5.0 registry.");
  steps.Run(DeleteRegistryKeyStep(root_key_v50, kUninstallParentV50, kProductKeyV50));
  steps.Run(DeleteRegistryKeyStep(root_key_v50, L"Software", kProductKeyV50));
  log::LogInfo(L"end delete v5.0 registry.");
}

void RemoveUnrecordedInstallation(const std::wstring& target, UpgradeSteps& steps,
                                  const std::function<bool(const std::wstring&)>& must_write) {
  if (!HoldsAnything(target)) return;
  log::LogInfo(L"earlier installation at the target, " + target);
  BackUpConfiguration(target, kConfigurationBackup);
  steps.Run(MoveAsideStep(target, must_write));
}

void ClearUserData() {
  std::wstring path;
  try {
    path = EnvironmentVariable(L"APPDATA") + L"\\orvekclient\\";
  } catch (const std::exception& e) {
    log::LogError(L"DelDir error, " + base::WideFromUtf8(e.what()));
    return;
  }
  DelDir(path, nullptr, false, true);
}

}  // namespace orvek::system
