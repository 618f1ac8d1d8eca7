// The operating system's own text for an error code (Windows only).
#pragma once

#include <cstdint>
#include <string>

namespace orvek::base {

// The system's message for `code`, a Win32 error or an HRESULT, without the
// line break the system ends it with. When the system has none:
// "System error 5" for a Win32 code, "System error 0x80004005" for a failed
// HRESULT.
std::wstring SystemMessage(std::uint32_t code);

// The same as UTF-8, for exception texts.
std::string SystemMessageUtf8(std::uint32_t code);

}  // namespace orvek::base
