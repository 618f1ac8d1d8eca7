#include "system/local_system.h"

#include <windows.h>

#include "base/unique_handle.h"

namespace orvek::system {
namespace {

bool TokenIsLocalSystem() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const base::UniqueHandle token(raw);
  // A TOKEN_USER with its SID, which is at most SECURITY_MAX_SID_SIZE long.
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return false;
  return ::IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

#ifdef ORVEK_TEST_SEAMS
bool SeamSaysLocalSystem() {
  wchar_t value[4] = {};
  return ::GetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", value, 4) == 1 && value[0] == L'1';
}
#else
bool SeamSaysLocalSystem() { return false; }
#endif

}  // namespace

bool RunsAsLocalSystem() { return SeamSaysLocalSystem() || TokenIsLocalSystem(); }

}  // namespace orvek::system
