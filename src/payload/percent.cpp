#include "payload/percent.h"

namespace orvek::payload {

std::uint32_t CheckedItemSize(std::uint64_t size) {
  if (size > 2147483647u) throw RangeError("Range check error");
  return static_cast<std::uint32_t>(size);
}

std::int32_t PercentOf(std::int64_t value, std::uint64_t size_sum) noexcept {
  if (size_sum == 0) return 100;
  // Both operands are taken as signed 64-bit values, as the installer has
  // always computed it; the product wraps like the original for absurd values
  // instead of trapping.
  const std::uint64_t scaled = static_cast<std::uint64_t>(value) * 100u;
  const std::int64_t quotient =
      static_cast<std::int64_t>(scaled) / static_cast<std::int64_t>(size_sum);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(quotient)));
}

}  // namespace orvek::payload
