// Starting a program the way a person or a deployment script would, and
// waiting for it to end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/unique_handle.h"

namespace orvek::test {

// A Linux path as Wine's Z: drive sees it; Windows paths pass unchanged.
std::wstring WindowsPath(const std::string& path);

// Quotes one argument the way CommandLineToArgvW splits it back.
std::wstring QuoteArgument(const std::wstring& arg);

// A started program; one the test lets go of while it still runs is ended,
// so a failed test never leaves it behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(ChildProcess&&) = default;
  ChildProcess& operator=(ChildProcess&&) = default;
  ~ChildProcess();

  // Starts `exe` with `args` (each quoted). `command_line_tail`, when given,
  // is appended verbatim instead, for tests of argument splitting itself.
  static ChildProcess Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                            const std::wstring* command_line_tail = nullptr);

  DWORD Pid() const { return pid_; }
  HANDLE Handle() const { return process_.get(); }

  // Exit code, or STILL_ACTIVE when it did not end within `timeout_ms`.
  DWORD WaitForExit(DWORD timeout_ms) const;

  // Ends the process if it still runs; used only on failure paths.
  void Terminate();

 private:
  base::UniqueHandle process_;
  DWORD pid_ = 0;
};

}  // namespace orvek::test
