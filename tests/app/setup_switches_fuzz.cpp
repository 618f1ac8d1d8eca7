// A deployment tool's command line (UTF-8 here). Whatever it holds, a target
// that passes is a full path on a lettered drive below its root, and the
// split arguments come in the order of the line.
#include <cstdint>
#include <string_view>

#include "app/setup_switches.h"
#include "base/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring line = orvek::base::WideFromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  std::size_t previous = 0;
  for (const auto& arg : orvek::app::SplitCommandLine(line)) {
    if (arg.offset < previous || arg.offset >= line.size()) __builtin_trap();
    previous = arg.offset + 1;
  }
  const orvek::app::SetupSwitches switches = orvek::app::ParseSetupSwitches(line);
  const std::wstring& t = switches.target;
  if (switches.error.empty() && !t.empty()) {
    const bool letter = (t[0] | 0x20) >= L'a' && (t[0] | 0x20) <= L'z';
    if (t.size() < 4 || !letter || t[1] != L':' || (t[2] != L'\\' && t[2] != L'/') ||
        t.find_first_not_of(L"\\/", 3) == std::wstring::npos)
      __builtin_trap();
  }
  return 0;
}
