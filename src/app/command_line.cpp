#include "app/command_line.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <memory>
#endif

namespace orvek::app {

std::wstring AsciiLower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return out;
}

bool HasSwitch(const std::vector<std::wstring>& args, std::wstring_view name) {
  const std::wstring wanted = AsciiLower(name);
  return std::any_of(args.begin(), args.end(),
                     [&](const std::wstring& arg) { return AsciiLower(arg) == wanted; });
}

#ifdef _WIN32
std::vector<std::wstring> ProcessArguments() {
  int count = 0;
  struct LocalFreeDeleter {
    void operator()(LPWSTR* p) const noexcept { ::LocalFree(p); }
  };
  std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  std::vector<std::wstring> args;
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv.get()[i]);
  return args;
}

bool HasCommandLineSwitch(std::wstring_view name) {
  return HasSwitch(ProcessArguments(), name);
}
#endif

}  // namespace orvek::app
