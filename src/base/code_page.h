// Text in the system's ANSI code page (Windows only): what older programs
// and files without a byte-order mark use. Not UTF-8: see unicode.h.
#pragma once

#include <string>
#include <string_view>

namespace orvek::base {

// MultiByteToWideChar(CP_ACP); bytes the code page lacks become what the
// system makes of them.
std::wstring WideFromAnsi(std::string_view bytes);

// WideCharToMultiByte(CP_ACP); characters the code page lacks become the
// system's default character.
std::string AnsiFromWide(std::wstring_view text);

}  // namespace orvek::base
