// What /? and /HELP show: the switches and the exit codes, for the
// administrator who has only the installer file in hand. Pure.
#pragma once

#include <string>

namespace orvek::app {

// The box's caption and text. The switches are those of setup_switches.h,
// the codes those of exit_code.h; the README's tables for administrators
// say the same at length.
inline constexpr wchar_t kHelpCaption[] = L"Orvek教师客户端安装程序 - 命令行参数";
std::wstring SetupHelpText();

}  // namespace orvek::app
