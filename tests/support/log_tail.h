// Reading what the log facility wrote to its file during one test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::test {

// Remembers the log file's length when constructed; Appended() returns the
// bytes (UTF-8) written to "<temp>\orvek\teacher-install.log" since then.
class LogTail {
 public:
  LogTail();
  std::string Appended() const;

 private:
  std::uint64_t start_ = 0;
};

// Whether `log` (UTF-8) holds `text`.
bool Has(const std::string& log, std::wstring_view text);

// Whether the first place `log` holds `line` ends a record.
bool HasLine(const std::string& log, std::wstring_view line);

}  // namespace orvek::test
