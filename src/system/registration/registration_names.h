// The names an installation is registered by: the key of its uninstall entry,
// the root that holds it, and the name of its shortcuts.
//
// RegisterInstallation writes them and RemoveRegistration takes them back;
// the next run finds its own earlier installation by them (the v4.9 entry
// and the shortcut at the root of its drive, previous_installations.h).
// Installations made by earlier versions bear the same names, so they stay
// as they are, letter case included.
#pragma once

#include <windows.h>

#include "system/registration/install_scope.h"

namespace orvek::system {

// The name of every client shortcut file, before ".lnk", and the entry's
// display name.
inline constexpr wchar_t kShortcutName[] = L"Orvek教师客户端";
inline constexpr wchar_t kRegistrationKey[] =
    L"Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher";

// Where the uninstall entry of `scope` lives: HKEY_CURRENT_USER, or
// HKEY_LOCAL_MACHINE (in the 32-bit view, as every key, registry.h).
inline HKEY RegistrationRoot(InstallScope scope) {
  return scope == InstallScope::kAllUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

}  // namespace orvek::system
