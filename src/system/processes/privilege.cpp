#include "system/processes/privilege.h"

#include "log/logs.h"

namespace orvek::system {

bool SetPrivilege(HANDLE token, const std::wstring& privilege_name, bool enable, bool* changed) {
  if (changed) *changed = false;
  LUID luid{};
  if (!::LookupPrivilegeValueW(nullptr, privilege_name.c_str(), &luid)) {
    log::LogErrorFmt(L"LookupPrivilegeValue error: %d", ::GetLastError());
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = luid;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  TOKEN_PRIVILEGES previous{};
  DWORD previous_size = 0;
  if (!::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, changed ? &previous : nullptr,
                               changed ? &previous_size : nullptr)) {
    log::LogErrorFmt(L"AdjustTokenPrivileges error: %d", ::GetLastError());
    return false;
  }
  // Success with this code means the token lacks the privilege entirely.
  if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED) log::LogError(L"ERROR_NOT_ALL_ASSIGNED");
  // Windows lists only what it changed, Wine every privilege it set.
  if (changed && previous.PrivilegeCount == 1) {
    *changed = ((previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0) != enable;
  }
  return true;
}

}  // namespace orvek::system
