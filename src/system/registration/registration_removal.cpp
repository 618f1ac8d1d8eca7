#include "system/registration/registration_removal.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <string>

#include "base/unicode.h"
#include "log/logs.h"
#include "system/files/directories.h"
#include "system/registration/registration_names.h"
#include "system/registration/shortcut_folders.h"
#include "system/registry.h"

namespace orvek::system {
namespace {

void RemoveShortcuts(InstallScope scope) {
  const ShortcutFolders folders(scope);
  const std::wstring link_name = std::wstring(kShortcutName) + L".lnk";
  if (const std::wstring desktop = folders.Checked(ShortcutFolder::kDesktop, L"its desktop shortcut kept");
      !desktop.empty()) {
    DeleteFileIfPresent(desktop + L"\\" + link_name);
  }
  const std::wstring programs = folders.Checked(ShortcutFolder::kPrograms, L"its start-menu shortcuts kept");
  if (programs.empty()) return;
  DeleteFileIfPresent(programs + L"\\" + link_name);
  const std::wstring menu = programs + L"\\Orvek";
  if (!DirectoryExists(menu) || IsLink(menu)) return;
  DeleteFileIfPresent(menu + L"\\" + link_name);
  DeleteFileIfPresent(menu + L"\\卸载" + link_name);
  ::RemoveDirectoryW(menu.c_str());  // only when empty
}

}  // namespace

void RemoveRegistration(InstallScope scope) {
  const HKEY root = RegistrationRoot(scope);
  try {
    RemoveShortcuts(scope);
    const std::wstring key = kRegistrationKey;
    const std::size_t cut = key.rfind(L'\\');
    if (std::optional<RegistryKey> parent = RegistryKey::Open(root, key.substr(0, cut), RegistryAccess::kFull)) {
      parent->DeleteKeyTree(key.substr(cut + 1));
    }
    log::LogInfo(std::wstring(ScopeName(scope)) + L" registration removed, " +
                 (root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE\\" : L"HKEY_CURRENT_USER\\") + kRegistrationKey);
  } catch (const std::exception& e) {
    log::LogError(L"registration removal error, " + base::WideFromUtf8(e.what()));
  }
}

}  // namespace orvek::system
