// Reading what the log facility wrote to its file during one test.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace orvek::test
