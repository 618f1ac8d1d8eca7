// Progress arithmetic of the payload extraction. Pure: no platform headers.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace orvek::payload {

// An item's unpacked size does not fit the signed 32-bit range the size sum
// counts in. Raised before anything is extracted.
class RangeError : public std::range_error {
 public:
  using std::range_error::range_error;
};

// The unpacked size of one item as the library reports it (a 64-bit value),
// checked into the signed 32-bit range: 0..2,147,483,647 pass, e.g.
// CheckedItemSize(2147483647) == 2147483647; 2,147,483,648 and more throw
// RangeError("Range check error").
std::uint32_t CheckedItemSize(std::uint64_t size);

// sum + size in 64 bits: five items of 1,000,000,000 make 5,000,000,000.
inline std::uint64_t AddItemSize(std::uint64_t sum, std::uint32_t size) noexcept {
  return sum + size;
}

// The percent shown for a progress notice: (value * 100) / size_sum in signed
// 64-bit arithmetic, truncated toward zero, low 32 bits read as signed.
// PercentOf(7999999, 800000000) == 0, PercentOf(8000000, 800000000) == 1,
// PercentOf(sum, sum) == 100; a value above the sum gives more than 100.
// A size sum of 0 (only empty files) has no meaningful percent: it reads 100,
// so the bar shows the (trivial) work as done instead of dividing by zero.
std::int32_t PercentOf(std::int64_t value, std::uint64_t size_sum) noexcept;

}  // namespace orvek::payload
