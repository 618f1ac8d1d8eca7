// Registration: the shortcuts and the uninstall entry that make an installation reachable.
//
// Shortcuts to the installed client and its entry in the user's list of
// installed programs.
//
// The uninstall entry written here is the key the next run of the installer
// reads back as the v4.9 location (previous_installations.h), so its name
// (registration_names.h), letter case and the unquoted "UninstallString" must
// stay as they are.
#pragma once

#include <string>
#include <string_view>

#include "system/registration/install_scope.h"

namespace orvek::system {

// What the window holds when the install worker registers the installation.
struct RegistrationRequest {
  std::wstring directory;  // the target directory as typed; trimmed here
  bool add_desktop = false;      // chkAddDesktop
  bool add_start_menu = false;   // chkAddStartMenu
  std::wstring publisher_url;    // the entry's "UrlInfoAbout"
  InstallScope scope = InstallScope::kCurrentUser;
  std::wstring version;  // the package version, "v6.15.1"
  // An installation of the other scope was found (and removed before): once
  // this entry is written, that scope's entry and shortcuts go too.
  bool replaces_other_scope = false;
};

// The entry's "DisplayVersion" for a package version: trimmed, without its
// leading "v", as management tools compare it: L"v6.15.1" => L"6.15.1".
std::wstring DisplayVersion(std::wstring_view version);

// Creates the shortcuts in the scope's folders (shortcut_folders.h) and writes
// the uninstall entry below RegistrationRoot(scope):
//  - desktop: "<Desktop>\Orvek教师客户端.lnk", deleted, saved again with
//    add_desktop;
//  - drive root of the directory: always saved (deleted first);
//  - "<Programs>\Orvek教师客户端.lnk": only deleted (an older layout);
//  - "<Programs>\Orvek\" created; in it "Orvek教师客户端.lnk" and
//    "卸载Orvek教师客户端.lnk" deleted, saved again with add_start_menu;
//  - "UninstallString", "DisplayName", "DisplayIcon", "Publisher",
//    "UrlInfoAbout" (publisher_url) in that order, as plain strings; then what
//    management tools detect an installation by and what the list of
//    installed programs shows: "DisplayVersion" (the version without its
//    leading "v"), "InstallLocation" (the directory), "EstimatedSize" (KiB of
//    the installed tree), "NoModify" and "NoRepair" (DWORD 1). Values of other
//    names stay.
// When the per-user "Shell Folders" key cannot be opened, no shortcut is
// touched, the drive root's included (logged). Desktop and Programs are
// checked as ShortcutFolders::Checked says; shortcuts whose folder is
// refused, or whose start-menu folder is a link, are skipped with one log
// line. A per-user value that is not text is a failure (below). With
// replaces_other_scope, RemoveRegistration of the other scope follows the
// entry. Paths are joined as typed: a
// directory ending in a backslash gives "dir\\uninstall.exe". Any failure
// ends the work there with "create desktop link error, <message>" logged;
// nothing is thrown. Enters and leaves COM on the calling thread (the
// install worker).
void RegisterInstallation(const RegistrationRequest& request);

}  // namespace orvek::system
