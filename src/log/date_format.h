// The date part of the pattern layout, "%d{...}".
#pragma once

#include <string>
#include <string_view>

#include "log/logging_event.h"

namespace orvek::log {

// Tokens: "yyyy" year, "mm" month (minutes when it follows an "hh"), "dd"
// day, "hh" hour 00-23, "nn" minutes, "ss" seconds, "zzz" milliseconds, ":"
// the time separator. Everything else is copied.
// ("yyyy-mm-dd hh:nn:ss:zzz", 2024-03-05 09:07:02.045) => "2024-03-05 09:07:02:045"
// ("hh.mm", 09:07) => "09.07"
// An empty format gives "yyyy-mm-dd hh:nn:ss".
std::wstring FormatDateTime(std::wstring_view format, const LocalTime& time);

}  // namespace orvek::log
