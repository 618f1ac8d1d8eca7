// Switching one privilege on an access token.
#pragma once

#include <windows.h>

#include <string>

namespace orvek::system {

// Enables (or, with enable false, disables) `privilege_name` (e.g.
// L"SeDebugPrivilege") on `token`, which the caller owns and opened with
// TOKEN_ADJUST_PRIVILEGES. Returns false, after logging
// "LookupPrivilegeValue error: %d" or "AdjustTokenPrivileges error: %d" with
// the system's error code, when the name is unknown or the token cannot be
// adjusted. Returns true otherwise, also when the token does not hold the
// privilege at all; that case is logged as "ERROR_NOT_ALL_ASSIGNED".
// `changed`, when given, receives whether this call switched the privilege
// (so that switching it back restores the token); the token then also needs
// TOKEN_QUERY.
bool SetPrivilege(HANDLE token, const std::wstring& privilege_name, bool enable,
                  bool* changed = nullptr);

}  // namespace orvek::system
