// The log operations of the installer. Every part of the program reports
// through these; they never fail their caller and may be called from any
// thread. A call before ConfigureLog or after CloseLog is dropped.
//
// Each record is one line of the rolling log file: local time, level, the
// calling thread's id and the text, e.g.
//   2024-03-05 09:07:02:045 [ INFO] threadid:5120 install ok.
#pragma once

#include <exception>
#include <initializer_list>
#include <string_view>

#include "log/logging_event.h"
#include "log/message_format.h"

namespace orvek::log {

// Configures the facility from "log.properties" in the current directory or,
// without one, the built-in configuration (the log in the temporary
// directory's "orvek" folder). Runs once at start, before other threads
// exist; a configuration failure leaves the log silent, never the caller
// failing. Calling it again before CloseLog changes nothing.
void ConfigureLog() noexcept;

// Closes the log file. Records from threads still running afterwards are
// dropped. ConfigureLog may run again after it.
void CloseLog() noexcept;

// Adds `path` as one more log file (an unattended run's /LOG=): from now on
// every record also goes there, as the very same line the log file gets. The
// file is created empty, replacing one that exists, with missing folders.
// Returns the failure's text, or empty on success; fails when the log is not
// configured. The file stays open until CloseLog.
std::wstring AddLogFile(const std::wstring& path) noexcept;

void LogError(std::wstring_view text) noexcept;
void LogWarn(std::wstring_view text) noexcept;
void LogInfo(std::wstring_view text) noexcept;
void LogTrace(std::wstring_view text) noexcept;

// LogError of the template with each "%s"/"%d" filled from the arguments in
// order: LogErrorFmt(L"copy %s failed, %d", name, 5).
void LogErrorFmt(std::wstring_view tmpl, std::initializer_list<FormatArg> args) noexcept;
template <class... Args>
void LogErrorFmt(std::wstring_view tmpl, const Args&... args) noexcept {
  try {
    LogErrorFmt(tmpl, {FormatArg(args)...});
  } catch (...) {
    // Out of memory for the argument texts: the record is lost, as any other.
  }
}

// LogError of the text and CR LF. The failure's stack trace would follow, but
// there is no stack-trace provider, so its message is not part of the record;
// boundaries that want it log their own text with what().
void LogException(std::wstring_view text, const std::exception& failure) noexcept;

// Tests only: the time stamped on records; nullptr restores the system clock.
void SetClockForTesting(LocalTime (*clock)()) noexcept;

}  // namespace orvek::log
