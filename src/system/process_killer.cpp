#include "system/process_killer.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <exception>

#include "base/os_error.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/process_match.h"

namespace orvek::system {

std::vector<DWORD> FindProcessIdsByName(const std::wstring& image_name) {
  const DWORD own_pid = ::GetCurrentProcessId();
  base::UniqueHandle snapshot = base::MakeUniqueHandle(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) throw base::OsError("CreateToolhelp32Snapshot", ::GetLastError());

  std::vector<DWORD> pids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == own_pid) continue;
    if (ImageNameMatches(entry.szExeFile, image_name)) pids.push_back(entry.th32ProcessID);
  }
  return pids;
}

void KillProcessByName(const std::wstring& image_name) {
  try {
    for (const DWORD pid : FindProcessIdsByName(image_name)) {
      const std::wstring parameters = TaskkillParameters(pid);
      // Fire and forget: whether taskkill starts or succeeds is not examined.
      ::ShellExecuteW(nullptr, L"open", L"taskkill", parameters.c_str(), nullptr, SW_HIDE);
    }
  } catch (const std::exception& e) {
    log::LogException(L"kill task error, ", e);
  }
}

}  // namespace orvek::system
