// Classification of the Windows version reported to the process, used only
// by the start-up gate that refuses Windows XP and older.
#pragma once

#include <cstdint>

namespace orvek::app {

// 0 Win95/NT4 (4.0), 1 Win98 (4.10), 2 Me (4.90), 3 Win2000 (5.0), 4 XP (5.1),
// 5 never produced, 6 Vista (6.0), 7 Win7 (6.1), 8 Win8 and every later
// version without a supported-OS manifest (6.2), 9 Win8.1 (6.3), 10 Win10
// (10.0), 11 anything else.
using TWindowsVersion = std::uint8_t;

constexpr TWindowsVersion kFirstSupportedVersion = 5;

TWindowsVersion ClassifyWindowsVersion(unsigned major, unsigned minor);

inline bool PassesVersionGate(TWindowsVersion v) { return v >= kFirstSupportedVersion; }

#ifdef _WIN32
TWindowsVersion GetWindowsVersion();
#endif

}  // namespace orvek::app
