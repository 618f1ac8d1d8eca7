#include "app/command_line.h"

#include <algorithm>

#include "base/text.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "base/unique_handle.h"
#endif

namespace orvek::app {

bool HasSwitch(const std::vector<std::wstring>& args, std::wstring_view name) {
  return std::any_of(args.begin(), args.end(),
                     [&](const std::wstring& arg) { return base::SameText(arg, name); });
}

#ifdef _WIN32
std::vector<std::wstring> ProcessArguments() {
  int count = 0;
  const base::UniqueLocalMemory memory(::CommandLineToArgvW(::GetCommandLineW(), &count));
  const auto* argv = static_cast<const LPWSTR*>(memory.get());
  std::vector<std::wstring> args;
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  return args;
}

bool HasCommandLineSwitch(std::wstring_view name) {
  return HasSwitch(ProcessArguments(), name);
}
#endif

}  // namespace orvek::app
