// The text rules behind the machine description and the client identifier:
// how values are cleaned, joined and written. Pure, so that the identifier a
// machine gets can be checked without the machine.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvek::system {

// The device description and the event reports separate values with commas,
// so a value keeps none; a missing value is spelled out.
//   L"" => L"unknown"; L"A,B" => L"A B"; L"A, B" => L"A  B"
std::wstring CleanValue(std::wstring_view value);

// A value read from WMI: leading and trailing blanks and control characters
// trimmed, then cleaned. L"  \t" => L"unknown"; L" ASUSTeK,Inc.\r\n" => L"ASUSTeK Inc."
std::wstring CleanWmiValue(std::wstring_view raw);

// The WQL text, filled in as given: (L"Manufacturer", L"win32_Bios", L"") =>
// L"select Manufacturer from win32_Bios " (trailing blank kept); a condition
// that begins with a blank gives two.
std::wstring WmiQueryText(std::wstring_view wmi_property, std::wstring_view wmi_type,
                          std::wstring_view condition);

// Monitor identifiers joined with "," or, for none, L"unknown".
std::wstring JoinMonitorIds(const std::vector<std::wstring>& ids);

// The processor's part of the identifier: the four result registers of
// identification leaf 1 added modulo 2^32, as 8 upper-case hexadecimal digits.
//   (0xFFFFFFFF, 2, 0, 0) => L"00000001"
std::wstring RegisterSumHex(std::uint32_t eax, std::uint32_t ebx, std::uint32_t ecx,
                            std::uint32_t edx);

using AdapterAddress = std::array<std::uint8_t, 6>;

// 12 upper-case hexadecimal digits per adapter, ";" between adapters, none
// at the end: {{0,0x1B,...}} => L"001B...". No adapters => L"".
std::wstring JoinAdapterAddresses(const std::vector<AdapterAddress>& addresses);

// SHA-1 of serial + cpu + macs (no separators) taken as bytes of the ANSI code
// page; every character that occurs is ASCII, and anything else is written as
// "?", as the conversion would.
std::wstring ClientIdFromParts(std::wstring_view serial, std::wstring_view cpu,
                               std::wstring_view macs);

}  // namespace orvek::system
