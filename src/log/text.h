// Text helpers of the log core: UTF-8/UTF-16 conversion and the small string
// rules of the property language. Pure code; wchar_t is UTF-16 on Windows and
// UTF-32 on Linux, and every function here handles both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvek::log {

// L"a\u00e9" => "a\xC3\xA9". An unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

// "a\xC3\xA9" => L"a\u00e9". A malformed sequence becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view bytes);

// {0x61,0x00} (little endian) => L"a". An odd trailing byte is dropped.
std::wstring WideFromUtf16(std::string_view bytes, bool big_endian);

// Leading and trailing blanks and control characters removed:
// L" \tkey \r" => L"key".
std::wstring_view Trim(std::wstring_view text);

// ASCII letters compared without regard to case: (L"Log4Delphi.Debug",
// L"log4delphi.debug") => true. The property keys are ASCII.
bool SameText(std::wstring_view a, std::wstring_view b);

// (L"LOG4DELPHI.logger.x", L"log4delphi.logger.") => true.
bool StartsWithText(std::wstring_view text, std::wstring_view prefix);

// An optional sign and decimal digits, within 32 bits: L"-12" => -12;
// L"12 ", L"0x10", L"" and L"2147483648" => nullopt.
std::optional<std::int32_t> ParseDecimalInt32(std::wstring_view text);

}  // namespace orvek::log
