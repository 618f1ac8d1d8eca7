// Earlier installations and the upgrade's state, from finding them to taking an upgrade back.
//
// Earlier generations of the client that the registry knows about: where
// they are, and their removal before an installation.
//
// v4.9 is the uninstall entry this installer writes itself (see
// installation_registration.h), so a later run finds its own installation
// there: under HKCU for a per-user installation, under HKLM for an all-users
// one. v5.0 is another generation's entry, under HKCU or else HKLM.
// All registry access is in the 32-bit view (registry.h).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "system/installations/recoverable_steps.h"
#include "system/registration/registration_names.h"

namespace orvek::system {

// Key paths as earlier installers wrote them (letter case included).
inline constexpr const wchar_t* kUninstallKeyV49 = kRegistrationKey;
inline constexpr wchar_t kUninstallParentV50[] =
    L"Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr wchar_t kUninstallKeyV50[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"9d2b61e4-58a3-5c07-b1f8-3e6a0c4d7b92";
inline constexpr wchar_t kProductKeyV50[] = L"9d2b61e4-58a3-5c07-b1f8-3e6a0c4d7b92";

// What FindPreviousInstallations found: the window keeps these as
// FUninstallV49, FUninstallV50 and FRootKeyV50.
struct PreviousInstallations {
  std::wstring uninstall_v49;  // directory ending in a backslash, or empty
  std::wstring uninstall_all_users;  // the same entry under HKLM, or empty
  std::wstring uninstall_v50;  // same, cut at its drive letter
  HKEY root_key_v50 = HKEY_LOCAL_MACHINE;  // where the v5.0 entry was found
};

// The directory part of value `value_name` of `key` below `root` (up to and
// including the last backslash or colon); empty when the key or value is
// missing or the value has none. A value that is not text reads as empty and
// logs "registry value is not a string, <key>\<value_name>". Never throws
// for registry reasons.
std::wstring ReadRegistryString(const std::wstring& key, const std::wstring& value_name, HKEY root);

// Reads the uninstall entries: v4.9 under HKCU and (all users) under HKLM;
// v5.0 under HKCU first, else under HKLM (the root stays HKLM when that is
// empty too). Called on the UI thread while the
// window is created; logs only for values that are not text.
PreviousInstallations FindPreviousInstallations();

// The configuration backup that the client reads, in the temporary
// directory: the "app.cfg" of the installation a run replaces at its target.
inline constexpr wchar_t kConfigurationBackup[] = L"orvekteacher.cfg";

// Backs up "app.cfg" to "<temp>\<backup_name>", moves `location` aside
// (MoveAsideStep: an empty directory stays in its place) and deletes the
// shortcut at the root of its drive, both as steps of `steps`, which takes
// them back or completes them. Logs its begin and end, and the backup
// ("app.cfg backed up, <file> to <backup>"). `before_emptying`, when given,
// runs between the backup and the move (the window shows its removal text
// then); a failure it raises is logged and the removal goes on. Install
// worker thread. Throws EarlierInstallationInUse when the location cannot
// be moved; nothing is deleted then.
// `must_write` tells which files the new installation writes (full
// paths): a held one of those stops the upgrade (MoveAsideStep).
void RemoveInstallationV49(const std::wstring& location, UpgradeSteps& steps, const std::wstring& backup_name,
                           const std::function<void()>& before_emptying = nullptr,
                           const std::function<bool(const std::wstring&)>& must_write = nullptr);

// Backs up "app.cfg" as RemoveInstallationV49 does, moves `location` aside
// and deletes the v5.0 keys below `root_key_v50` (each key copied for taking
// it back), the latter whatever the move did, as steps of `steps`. Install
// worker thread. Throws EarlierInstallationInUse when the location cannot be
// moved; nothing is deleted then.
void RemoveInstallationV50(const std::wstring& location, HKEY root_key_v50, UpgradeSteps& steps,
                           const std::wstring& backup_name,
                           const std::function<bool(const std::wstring&)>& must_write = nullptr);

// Where `target` is a directory that holds anything, that is an earlier
// installation no entry of this account names: "earlier installation at the
// target, <target>" is logged, its "app.cfg" backed up to
// kConfigurationBackup and the directory moved aside as a step of `steps`.
// Nothing happens for a missing or empty directory. Throws as
// RemoveInstallationV49.
void RemoveUnrecordedInstallation(const std::wstring& target, UpgradeSteps& steps,
                                  const std::function<bool(const std::wstring&)>& must_write = nullptr);

// Empties and removes "%APPDATA%\orvekclient\" (through DelDir's guard).
// Install worker thread; never throws.
void ClearUserData();

}  // namespace orvek::system
