// The layout of the log file. The pattern is compiled once into a list of
// small fields; Format only walks that list, so nothing in a message (a "%",
// a "%d") is ever read as a conversion.
//
// Conversions: %d{date format} the event time (date_format.h), %p the level
// name, %m the message, %e the failure text, %L the logger name, %n a single
// CR. Between "%" and the letter may stand "-" (pad on the right), a minimum
// width and "." with a maximum length, up to three digits each: "%5p" =>
// " INFO", "%-5p" => "INFO ", "%.3m" keeps the first three characters. Any
// other "%..." (also "%1000m") stays in the output as written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "log/layout.h"

namespace orvek::log {

class TPatternLayout : public TLayout {
 public:
  // "%d{yyyy-mm-dd hh:nn:ss:zzz} [%5p] %m%n" => "2024-03-05 09:07:02:045 [ INFO] text\r"
  explicit TPatternLayout(std::wstring_view pattern);

  std::wstring Format(const TLoggingEvent& event) const override;
  bool IgnoresException() const override { return false; }

 private:
  enum class Kind { kText, kDate, kLevel, kMessage, kFailure, kLoggerName };
  struct Field {
    Kind kind = Kind::kText;
    std::wstring text;  // kText: the literal; kDate: the date format
    bool left_align = false;
    std::size_t min_width = 0;
    std::size_t max_length = std::wstring::npos;
  };

  void AddText(std::wstring_view text);

  std::vector<Field> FFields;  // the compiled pattern
};

}  // namespace orvek::log
