#include "support/child_process.h"

#include <stdexcept>

#include "base/unicode.h"

namespace orvek::test {

std::wstring WindowsPath(const std::string& path) {
  std::wstring out;
  if (!path.empty() && path[0] == '/') out = L"Z:";
  std::wstring wide = base::WideFromUtf8(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return out + wide;
}

std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

ChildProcess ChildProcess::Start(const std::wstring& exe, const std::vector<std::wstring>& args,
                                 const std::wstring* command_line_tail) {
  std::wstring line = QuoteArgument(exe);
  if (command_line_tail) {
    line += L" " + *command_line_tail;
  } else {
    for (const auto& a : args) line += L" " + QuoteArgument(a);
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
    throw std::runtime_error("CreateProcess failed: " + std::to_string(::GetLastError()));
  }
  ::CloseHandle(pi.hThread);
  ChildProcess child;
  child.process_.reset(pi.hProcess);
  child.pid_ = pi.dwProcessId;
  return child;
}

DWORD ChildProcess::WaitForExit(DWORD timeout_ms) const {
  if (::WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

void ChildProcess::Terminate() {
  if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

ChildProcess::~ChildProcess() { Terminate(); }

}  // namespace orvek::test
