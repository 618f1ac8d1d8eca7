// The failure raised when an operating-system call fails inside the system.
// Pure: carries the platform's error code as a plain number, so code that
// only reports failures needs no <windows.h>.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvek::base {

class OsError : public std::runtime_error {
 public:
  // what() reads "<operation> failed, error <code>", e.g.
  // "CreateToolhelp32Snapshot failed, error 5".
  OsError(const std::string& operation, std::uint32_t code)
      : std::runtime_error(operation + " failed, error " + std::to_string(code)), code_(code) {}

  std::uint32_t code() const noexcept { return code_; }

 private:
  std::uint32_t code_;
};

}  // namespace orvek::base
