// The one boundary at every place where the system hands control to our code
// and an exception must not go back: window procedures, click handlers and
// thread bodies. An exception unwinding into the window system, or out of a
// thread's first function, ends the process without a word.
//
//   LRESULT result = 0;
//   if (!RunGuarded(L"window message error", [&] { result = HandleMessage(...); })) result = 0;
//
// Any thread; never throws.
#pragma once

#include <exception>
#include <string_view>

namespace orvek::log {

// Logs the error "<where>, <message>", the message being the failure's
// (UTF-8, as our failures carry it) or "unknown failure".
void LogFailure(std::wstring_view where, const char* message) noexcept;

// Runs `body`. Returns true when it returned normally; false after a failure
// escaped it, which is then logged by LogFailure(where, ...).
template <typename Body>
bool RunGuarded(std::wstring_view where, Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (const std::exception& failure) {
    LogFailure(where, failure.what());
  } catch (...) {
    LogFailure(where, nullptr);
  }
  return false;
}

}  // namespace orvek::log
