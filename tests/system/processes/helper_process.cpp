#include "helper_process.h"

#include "system/processes/module_path.h"
#include "system/processes/process_killer.h"

namespace orvek::test {

std::wstring TestBinaryDir() {
  const std::wstring self = system::GetModulePath();
  return self.substr(0, self.find_last_of(L'\\') + 1);
}

std::wstring ChildExePath() { return TestBinaryDir() + kChildImageName; }

HelperProcess HelperProcess::Start(const std::wstring& exe,
                                   const std::vector<std::wstring>& args) {
  HelperProcess process;
  process.child_ = ChildProcess::Start(exe, args);
  return process;
}

bool HelperProcess::WaitForExit(DWORD timeout_ms, DWORD* exit_code) const {
  if (::WaitForSingleObject(child_.Handle(), timeout_ms) != WAIT_OBJECT_0) return false;
  if (exit_code) ::GetExitCodeProcess(child_.Handle(), exit_code);
  return true;
}

bool WaitForPid(DWORD pid, DWORD timeout_ms) {
  base::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process) return true;  // already gone
  return ::WaitForSingleObject(process.get(), timeout_ms) == WAIT_OBJECT_0;
}

bool WaitForProcessesNamed(const std::wstring& image_name, DWORD timeout_ms) {
  const DWORD deadline = ::GetTickCount() + timeout_ms;
  for (const DWORD pid : system::FindProcessIdsByName(image_name)) {
    const DWORD now = ::GetTickCount();
    const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
    if (!WaitForPid(pid, left)) return false;
  }
  return true;
}

std::wstring UniqueName(const std::wstring& prefix) {
  return prefix + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(::GetTickCount());
}

}  // namespace orvek::test
