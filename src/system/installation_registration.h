// Shortcuts to the installed client and its entry in the user's list of
// installed programs.
//
// The uninstall entry written here is the key the next run of the installer
// reads back as the v4.9 location (previous_installations.h), so its name,
// letter case and the unquoted "UninstallString" must stay as they are.
#pragma once

#include <string>

namespace orvek::system {

// The name of every client shortcut file, before ".lnk", and the entry's
// display name.
inline constexpr wchar_t kShortcutName[] = L"Orvek教师客户端";
inline constexpr wchar_t kRegistrationKey[] =
    L"Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher";
inline constexpr wchar_t kShellFoldersKey[] =
    L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// What the window holds when the install worker registers the installation.
struct RegistrationRequest {
  std::wstring directory;  // the target directory as typed; trimmed here
  bool add_desktop = false;      // chkAddDesktop
  bool add_start_menu = false;   // chkAddStartMenu
  std::wstring publisher_url;    // the entry's "UrlInfoAbout"
};

// Creates the shortcuts and writes the uninstall entry below HKCU:
//  - desktop: "<Desktop>\Orvek教师客户端.lnk", deleted, saved again with
//    add_desktop;
//  - drive root of the directory: always saved (deleted first);
//  - "<Programs>\Orvek教师客户端.lnk": only deleted (an older layout);
//  - "<Programs>\Orvek\" created; in it "Orvek教师客户端.lnk" and
//    "卸载Orvek教师客户端.lnk" deleted, saved again with add_start_menu;
//  - "UninstallString", "DisplayName", "DisplayIcon", "Publisher",
//    "UrlInfoAbout" (publisher_url) in that order, as plain strings.
// When the "Shell Folders" key cannot be opened, no shortcut is touched
// (logged). Desktop and Programs are its values (read-only), made
// absolute with "." and ".." resolved; shortcuts that need an empty value,
// one that is not drive-absolute (relative, network, device path) or a
// start-menu folder that is a link are skipped with one log line. A value
// that is not text is a failure (below). Paths are joined as typed: a
// directory ending in a backslash gives "dir\\uninstall.exe". Any failure
// ends the work there with "create desktop link error, <message>" logged;
// nothing is thrown. Enters and leaves COM on the calling thread (the
// install worker).
void RegisterInstallation(const RegistrationRequest& request);

}  // namespace orvek::system
