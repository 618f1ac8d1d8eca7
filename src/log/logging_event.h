// One call of a log operation, as the appenders see it.
#pragma once

#include <exception>
#include <string>

#include "log/level.h"

namespace orvek::log {

// A local wall-clock time with millisecond resolution.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Lives for one call; the appenders must not keep references into it.
struct TLoggingEvent {
  const TLevel* FLevel = &kAll;
  std::wstring FMsg;
  LocalTime FStartTime;
  const std::exception* FException = nullptr;  // the installer never passes one
  std::wstring FLoggerName;
};

}  // namespace orvek::log
