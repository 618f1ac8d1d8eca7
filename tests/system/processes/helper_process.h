// Other processes for the system tests: the helper program next to the test
// executable, started with a mode, and waiting on processes by name.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/child_process.h"

namespace orvek::test {

// The folder of the test executable, where the test-only targets land too,
// with its final backslash.
std::wstring TestBinaryDir();

// The test-only helper program "system_test_child.exe" (see
// system_test_child.cpp for its modes), which sits beside the test executable.
std::wstring ChildExePath();
inline constexpr wchar_t kChildImageName[] = L"system_test_child.exe";
// Exit code of the helper's "kill-own-name" mode when it outlived its call.
inline constexpr DWORD kChildSurvived = 10;

// A started helper (see ChildProcess: ended if the test lets go of it while
// it still runs), with a wait that tells ending apart from the exit code.
class HelperProcess {
 public:
  static HelperProcess Start(const std::wstring& exe, const std::vector<std::wstring>& args);

  DWORD pid() const { return child_.Pid(); }
  // True when it ended within `timeout_ms`; then `exit_code` holds its code.
  bool WaitForExit(DWORD timeout_ms, DWORD* exit_code = nullptr) const;
  bool Running() const { return !WaitForExit(0); }

 private:
  ChildProcess child_;
};

// Waits until every process named `image_name` (other than the caller) that
// runs now has ended. False when one still runs after `timeout_ms`.
bool WaitForProcessesNamed(const std::wstring& image_name, DWORD timeout_ms);

// Waits for the process `pid` to end; true also when it is already gone.
bool WaitForPid(DWORD pid, DWORD timeout_ms);

// A name no other test run uses: `prefix`, the pid and a tick count.
std::wstring UniqueName(const std::wstring& prefix);

}  // namespace orvek::test
