// The eight severity levels. They are constants, so they exist before any
// other part of the facility and every logger can point at them.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace orvek::log {

class TLevel {
 public:
  constexpr TLevel(std::int32_t value, std::wstring_view name) : FLevelValue(value), FName(name) {}

  constexpr bool IsGreaterOrEqual(const TLevel& other) const { return FLevelValue >= other.FLevelValue; }
  constexpr std::int32_t IntValue() const { return FLevelValue; }
  constexpr std::wstring_view ToString() const { return FName; }

 private:
  std::int32_t FLevelValue;
  std::wstring_view FName;
};

inline constexpr TLevel kOff{std::numeric_limits<std::int32_t>::max(), L"OFF"};
inline constexpr TLevel kFatal{60000, L"FATAL"};
inline constexpr TLevel kError{50000, L"ERROR"};
inline constexpr TLevel kWarn{40000, L"WARN"};
inline constexpr TLevel kInfo{30000, L"INFO"};
inline constexpr TLevel kDebug{20000, L"DEBUG"};
inline constexpr TLevel kTrace{10000, L"TRACE"};
inline constexpr TLevel kAll{std::numeric_limits<std::int32_t>::min(), L"ALL"};

// L"info" => &kInfo; L"verbose" => nullptr.
const TLevel* LevelFromName(std::wstring_view name);

}  // namespace orvek::log
