// Layouts turn an event into the text of one record.
#pragma once

#include <string>

#include "log/logging_event.h"

namespace orvek::log {

class TLayout {
 public:
  virtual ~TLayout() = default;
  virtual std::wstring Format(const TLoggingEvent& event) const = 0;
  virtual std::wstring GetContentType() const { return L"text/plain"; }
  virtual std::wstring GetHeader() const { return {}; }
  virtual std::wstring GetFooter() const { return {}; }
  // False asks the writer appender for an extra "Exception: " line when an
  // event carries a failure.
  virtual bool IgnoresException() const { return true; }
};

// "LEVEL - message", e.g. "WARN - disk almost full".
class TSimpleLayout : public TLayout {
 public:
  std::wstring Format(const TLoggingEvent& event) const override;
};

// The failure's class name, ": " and its message, e.g.
// "std::runtime_error: disk full"; empty when the event carries none.
std::wstring FailureText(const TLoggingEvent& event);

}  // namespace orvek::log
