// Whom an installation is for: the signed-in user (shortcuts in the user's
// own folders, the uninstall entry under HKEY_CURRENT_USER), or every user of
// the machine (the common folders, HKEY_LOCAL_MACHINE). A run installs in one
// scope and replaces an installation it finds in the other.
#pragma once

namespace orvek::system {

enum class InstallScope { kCurrentUser, kAllUsers };

inline InstallScope OtherScope(InstallScope scope) {
  return scope == InstallScope::kAllUsers ? InstallScope::kCurrentUser : InstallScope::kAllUsers;
}

// For log lines: L"per-user", L"all-users".
inline const wchar_t* ScopeName(InstallScope scope) {
  return scope == InstallScope::kAllUsers ? L"all-users" : L"per-user";
}

}  // namespace orvek::system
