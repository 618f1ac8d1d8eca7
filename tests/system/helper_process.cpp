#include "helper_process.h"

#include <stdexcept>

#include "system/module_path.h"
#include "system/process_killer.h"

namespace orvek::test {
namespace {

std::wstring Quote(const std::wstring& arg) {
  // The arguments used here hold no quotes or trailing backslashes.
  return arg.find_first_of(L" \t") == std::wstring::npos ? arg : L"\"" + arg + L"\"";
}

}  // namespace

std::wstring TestBinaryDir() {
  const std::wstring self = system::GetModulePath();
  return self.substr(0, self.find_last_of(L'\\') + 1);
}

std::wstring ChildExePath() { return TestBinaryDir() + kChildImageName; }

HelperProcess HelperProcess::Start(const std::wstring& exe,
                                   const std::vector<std::wstring>& args) {
  std::wstring line = Quote(exe);
  for (const auto& arg : args) line += L" " + Quote(arg);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    throw std::runtime_error("CreateProcess failed: " + std::to_string(::GetLastError()));
  }
  system::UniqueHandle thread(info.hThread);
  HelperProcess process;
  process.process_.reset(info.hProcess);
  process.pid_ = info.dwProcessId;
  return process;
}

HelperProcess::~HelperProcess() {
  if (process_ && Running()) {
    ::TerminateProcess(process_.get(), 99);
    WaitForExit(5000);
  }
}

bool HelperProcess::WaitForExit(DWORD timeout_ms, DWORD* exit_code) const {
  if (::WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return false;
  if (exit_code) ::GetExitCodeProcess(process_.get(), exit_code);
  return true;
}

bool WaitForPid(DWORD pid, DWORD timeout_ms) {
  system::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
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
