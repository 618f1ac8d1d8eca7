// The small decisions of the first page and the install workflow, as pure
// functions over text and numbers, so they are tested natively.
#pragma once

#include <functional>
#include <string>

#include "system/registration/install_scope.h"

namespace orvek::app {

// The folders below a chosen folder (and below the program folder) that the
// client installs into.
inline constexpr const wchar_t* kSubPath = L"orvek\\orvekteacher";
inline constexpr std::size_t kSubPathLength = 18;

// Below this many units of 2^30 bytes a drive has too little space.
inline constexpr double kFreeSpaceThreshold = 0.8;

// All trailing backslashes removed: L"D:\\Apps\\orvek\\" => L"D:\\Apps\\orvek",
// L"C:\\" => L"C:".
std::wstring StripTrailingBackslashes(std::wstring path);

// The proposed target directory: the v4.9 location when it names an existing
// directory, else the v5.0 location under the same test, else
// program_files + "\orvek\orvekteacher"; trailing backslashes stripped.
// (L"D:\\gone\\", L"E:\\v50\\", L"C:\\PF") with only E:\v50 existing
// => L"E:\\v50".
std::wstring ChooseTargetDirectory(const std::wstring& v49, const std::wstring& v50,
                                   const std::wstring& program_files,
                                   const std::function<bool(const std::wstring&)>& directory_exists);

// Window height with the options open: width * 460 / 520.0, truncated.
// 520 => 460; 650 (125 % DPI) => 575.
int ExpandHeight(int width);

bool HasTooLittleSpace(double gigabytes);

// "磁盘剩余空间：" + gigabytes rounded to two decimals + "GB", with the user's
// decimal separator and no thousands separator: (1234.567, L',') =>
// L"磁盘剩余空间：1234,57GB".
std::wstring FreeSpaceText(double gigabytes, wchar_t decimal_separator);

// Where the folder browser starts: the target without its last 18
// characters, whatever they are; empty for 18 characters or fewer.
// L"C:\\Program Files (x86)\\orvek\\orvekteacher" => L"C:\\Program Files (x86)\\".
std::wstring FolderBrowserStart(const std::wstring& target);

// The target below a folder chosen in the browser; the sub-path is appended
// every time: L"D:\\" => L"D:\\orvek\\orvekteacher",
// L"D:\\Games" => L"D:\\Games\\orvek\\orvekteacher".
std::wstring TargetBelowFolder(const std::wstring& chosen);

// The install directory the worker uses: the target text trimmed of blanks
// and control characters at both ends, trailing backslashes stripped.
std::wstring InstallDirectory(const std::wstring& text);

// The free-space value of the first page's free-space text: what follows its
// first "：" (U+FF1A), or the whole text without one:
// L"磁盘剩余空间：12.34GB" => L"12.34GB".
std::wstring FreeSpaceValue(const std::wstring& label);

// The install event's extra data, compact JSON (UTF-8) with the members
// "clientPath" (the target text unchanged) and "clientPathAvlspace"
// (FreeSpaceValue of the label), written as the event service's upload
// document is written (net/json_value.h: WriteJson).
std::string InstallExtraData(const std::wstring& target_text, const std::wstring& free_space_label);

// True when the running installer's path asks for the updater to be removed:
// it contains "noupdate", letter case as written (NoUpdate does not count).
bool RequestsUpdaterRemoval(const std::wstring& installer_path);

// What decides whom an installation is for.
struct ScopeFacts {
  // An earlier installation for all users: the folder of this installer's
  // entry under HKEY_LOCAL_MACHINE, else of the v5.0 generation's there;
  // empty when there is none.
  std::wstring all_users_installation;
  bool local_system = false;         // the run's account is LocalSystem
  bool all_users_switch = false;     // /ALLUSERS
  bool current_user_switch = false;  // /CURRENTUSER
  bool unattended = false;           // /S or /PLAN: no window
};

struct ScopeChoice {
  orvek::system::InstallScope scope = orvek::system::InstallScope::kCurrentUser;
  std::wstring reason;  // for the log: L"<scope> installation, " + reason
};

// An installation keeps its scope, and a run that nobody watches is a
// deployment to the whole PC. The first that applies:
//   /ALLUSERS                         => all users, L"/ALLUSERS"
//   LocalSystem                       => all users, L"running as LocalSystem"
//   an all-users installation exists  => all users, L"upgrading the all-users
//                                        installation in <folder>"
//   /CURRENTUSER                      => per user,  L"/CURRENTUSER"
//   unattended                        => all users, L"silent run without /CURRENTUSER"
//   otherwise (the window)            => per user,  L"run from the window, no
//                                        all-users installation found"
// A /CURRENTUSER that does not decide is named: L"running as LocalSystem,
// /CURRENTUSER does not apply".
ScopeChoice ChooseInstallScope(const ScopeFacts& facts);

// Where in the temporary directory an earlier installation's "app.cfg" is
// kept when a run removes it: L"orvekteacher.cfg", which the client reads,
// for the installation at the run's target; L"orvekteacher.<label>.cfg" for
// any other, so that no backup overwrites another.
//   (L"C:\orvek\a\", L"c:\orvek\A", L"per-user") => L"orvekteacher.cfg"
//   (L"D:\orvek\b\", L"C:\orvek\a", L"per-user") => L"orvekteacher.per-user.cfg"
std::wstring ConfigurationBackupName(const std::wstring& location, const std::wstring& target,
                                     const std::wstring& label);

// Whether two directories are the same as their texts say: ASCII letter
// case and final backslashes ignored.
bool SameDirectory(const std::wstring& a, const std::wstring& b);

// The "formsize" log line: L"formsize520,325, " + client id.
std::wstring FormSizeLine(int width, int height, const std::wstring& client_id);

}  // namespace orvek::app
