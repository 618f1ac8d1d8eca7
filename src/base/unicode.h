// Conversions between UTF-8, UTF-16 and the wide strings of the program.
// Pure code; wchar_t is UTF-16 on Windows and UTF-32 on Linux, and every
// function here handles both. The system's ANSI code page is another
// meaning: see code_page.h.
#pragma once

#include <string>
#include <string_view>

namespace orvek::base {

// L"a\u00e9" => "a\xC3\xA9". An unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

// "a\xC3\xA9" => L"a\u00e9". A malformed sequence becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view bytes);

// {0x61,0x00} (little endian) => L"a". An odd trailing byte is dropped.
std::wstring WideFromUtf16(std::string_view bytes, bool big_endian);

}  // namespace orvek::base
