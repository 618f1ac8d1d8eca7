// Small text rules shared by every part of the program: trimming, ASCII case
// folding and strict decimal numbers. Pure code; only ASCII letters fold, so
// results never depend on the user's locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvek::base {

// Leading and trailing blanks and control characters (everything at or below
// U+0020, NUL included) removed; ones inside stay:
// L" \tkey \r" => L"key", L"v6.15.1\0\0" => L"v6.15.1", L"a\0b" => L"a\0b".
// The narrow form treats bytes of 0x80 and above as text.
std::wstring_view Trim(std::wstring_view text);
std::string_view Trim(std::string_view text);

// Lower-cases A..Z only, so non-ASCII text stays exactly as it is:
// L"\u00c4BC" => L"\u00c4bc".
std::wstring AsciiLower(std::wstring_view text);
std::string AsciiLower(std::string_view text);

// ASCII letters compared without regard to case: (L"Log4Delphi.Debug",
// L"log4delphi.debug") => true; other characters must be equal.
bool SameText(std::wstring_view a, std::wstring_view b);

// (L"LOG4DELPHI.logger.x", L"log4delphi.logger.") => true.
bool StartsWithText(std::wstring_view text, std::wstring_view prefix);

// An optional sign and decimal digits, within 32 bits: L"-12" => -12;
// L"12 ", L"0x10", L"" and L"2147483648" => nullopt.
std::optional<std::int32_t> ParseDecimalInt32(std::wstring_view text);

}  // namespace orvek::base
