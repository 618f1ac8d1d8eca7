#include "system/installations/run_owner.h"

#include <windows.h>
#include <sddl.h>

#include <cstdint>

#include "base/unique_handle.h"
#include "system/test_seams.h"

namespace orvek::system {
namespace {

// 100 ns units since 1601; 0 when the process cannot be asked.
std::uint64_t CreationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::wstring TokenUserSid() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const base::UniqueHandle token(raw);
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return {};
  base::UniqueLocalMemory text;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid,
                                reinterpret_cast<LPWSTR*>(text.put()))) {
    return {};
  }
  return static_cast<const wchar_t*>(text.get());
}

}  // namespace

std::wstring CurrentRunId() {
  return FormatRunId(::GetCurrentProcessId(), CreationTime(::GetCurrentProcess()));
}

std::wstring CurrentAccountSid() {
  const std::wstring seam = TestSeamValue(L"ORVEK_TEST_ACCOUNT_SID");
  return seam.empty() ? TokenUserSid() : seam;
}

bool ProcessRuns(const RunId& run) {
  const base::UniqueHandle process(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, run.process_id));
  if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // no such process: ended
  // The id of an ended process is soon another's: only the creation time
  // tells the two apart.
  const std::uint64_t created = CreationTime(process.get());
  if (created != 0 && created != run.creation_time) return false;
  return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace orvek::system
