#include "log/date_format.h"

namespace orvek::log {
namespace {

// The records are read by support staff on machines with any regional
// settings, and every installer user's settings use ":", so it is fixed.
constexpr wchar_t kTimeSeparator = L':';

void AppendPadded(std::wstring& out, int value, std::size_t digits) {
  std::wstring text = std::to_wstring(value);
  if (text.size() < digits) out.append(digits - text.size(), L'0');
  out += text;
}

}  // namespace

std::wstring FormatDateTime(std::wstring_view format, const LocalTime& time) {
  if (format.empty()) format = L"yyyy-mm-dd hh:nn:ss";
  std::wstring out;
  bool after_hour = false;
  std::size_t i = 0;
  auto take = [&](std::wstring_view token) {
    if (format.substr(i, token.size()) != token) return false;
    i += token.size();
    return true;
  };
  while (i < format.size()) {
    if (take(L"yyyy")) {
      AppendPadded(out, time.year, 4), after_hour = false;
    } else if (take(L"mm")) {
      AppendPadded(out, after_hour ? time.minute : time.month, 2), after_hour = false;
    } else if (take(L"dd")) {
      AppendPadded(out, time.day, 2), after_hour = false;
    } else if (take(L"hh")) {
      AppendPadded(out, time.hour, 2), after_hour = true;
    } else if (take(L"nn")) {
      AppendPadded(out, time.minute, 2), after_hour = false;
    } else if (take(L"ss")) {
      AppendPadded(out, time.second, 2), after_hour = false;
    } else if (take(L"zzz")) {
      AppendPadded(out, time.millisecond, 3), after_hour = false;
    } else if (take(L":")) {
      out += kTimeSeparator;
    } else {
      out += format[i++];
    }
  }
  return out;
}

}  // namespace orvek::log
