#include "system/processes/process_killer.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <exception>

#include "base/os_error.h"
#include "base/system_library.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/processes/process_match.h"
#include "system/processes/process_sessions.h"
#include "base/system_library.h"

namespace orvek::system {

std::vector<DWORD> FindProcessIdsByName(const std::wstring& image_name) {
  const DWORD own_pid = ::GetCurrentProcessId();
  const DWORD own_session = OwnSession();
  base::UniqueHandle snapshot = base::MakeUniqueHandle(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) throw base::OsError("CreateToolhelp32Snapshot", ::GetLastError());

  std::vector<DWORD> pids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == own_pid) continue;
    if (!ImageNameMatches(entry.szExeFile, image_name)) continue;
    // Only what provably runs in this session: another session's client
    // belongs to a teacher who is using it.
    if (SessionOfProcess(entry.th32ProcessID) == own_session) pids.push_back(entry.th32ProcessID);
  }
  return pids;
}

void KillProcessByName(const std::wstring& image_name) {
  try {
    const std::vector<DWORD> pids = FindProcessIdsByName(image_name);
    if (pids.empty()) return;
    // Never the bare name: the shell would take a "taskkill.exe" (or .bat,
    // .cmd, .com) from the installer's folder or the current directory, a
    // Downloads folder, and run it elevated.
    const std::wstring taskkill = base::SystemFolderPath(L"taskkill.exe");
    if (taskkill.empty()) throw base::OsError("GetSystemDirectoryW", ::GetLastError());
    for (const DWORD pid : pids) {
      const std::wstring parameters = TaskkillParameters(pid);
      // Fire and forget: whether taskkill starts or succeeds is not examined.
      ::ShellExecuteW(nullptr, L"open", taskkill.c_str(), parameters.c_str(), nullptr, SW_HIDE);
    }
  } catch (const std::exception& e) {
    log::LogException(L"kill task error, ", e);
  }
}

}  // namespace orvek::system
