// The folders that hold an installation's desktop and start-menu shortcuts:
// the signed-in user's own ("Shell Folders" of HKEY_CURRENT_USER) for a
// per-user installation, the common ones of all users (as the system names
// them) for an all-users installation.
#pragma once

#include <optional>
#include <string>

#include "system/registration/install_scope.h"
#include "system/registry.h"

namespace orvek::system {

inline constexpr wchar_t kShellFoldersKey[] =
    L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

enum class ShortcutFolder { kDesktop, kPrograms };

class ShortcutFolders {
 public:
  // Opens the per-user "Shell Folders" key for reading (never creates it).
  explicit ShortcutFolders(InstallScope scope);

  InstallScope scope() const { return scope_; }
  // False only for a per-user installation whose "Shell Folders" key cannot
  // be opened.
  bool opened() const { return scope_ == InstallScope::kAllUsers || key_.has_value(); }

  // The folder as the system gives it, not checked: the per-user value
  // "Desktop" or "Programs" (a value that is not text raises
  // RegistryTypeError), or the common Desktop or Programs folder
  // (CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS). Empty when the
  // system knows none.
  std::wstring Value(ShortcutFolder folder) const;

  // Value made absolute with "." and ".." resolved, or empty with one log
  // line saying the shortcuts `skipped` are skipped. Any program of the user
  // can change the per-user values while the shortcuts are written with
  // administrator rights, so only an absolute value (a drive path, or a share
  // path for redirected folders, as schools use) is taken, never one relative
  // to the current directory (the folder the installer was started from) and
  // never a device path. The common folders go through the same check.
  //   "Desktop folder unknown, desktop shortcut skipped"
  //   "Common Programs folder refused, start-menu shortcuts skipped, <value>"
  std::wstring Checked(ShortcutFolder folder, const std::wstring& skipped) const;

 private:
  InstallScope scope_;
  std::optional<RegistryKey> key_;
};

}  // namespace orvek::system
