#include "system/processes/local_system.h"

#include <windows.h>

#include "base/unique_handle.h"
#include "system/test_seams.h"

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

}  // namespace

bool RunsAsLocalSystem() { return TestSeamSet(L"ORVEK_TEST_AS_LOCAL_SYSTEM") || TokenIsLocalSystem(); }

}  // namespace orvek::system
