// Command-line switches: a switch is a whole argument compared without
// regard to ASCII case; there is no prefix syntax, so "-dpi" and "/dpi" are
// not the switch "dpi".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvek::app {

// True when any of `args` (the real arguments, without the program path)
// equals `name` without regard to ASCII case (base::SameText).
//   {L"DPI"}, L"dpi"   => true
//   {L"-dpi"}, L"dpi"  => false
//   {L"dpix"}, L"dpi"  => false
bool HasSwitch(const std::vector<std::wstring>& args, std::wstring_view name);

#ifdef _WIN32
// The process's arguments as the runtime's standard splitting gives them
// (blanks separate, double quotes group and are removed), without argv[0].
std::vector<std::wstring> ProcessArguments();

bool HasCommandLineSwitch(std::wstring_view name);
#endif

}  // namespace orvek::app
