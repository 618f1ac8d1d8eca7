// The size of an installed tree, as the uninstall entry reports it.
#pragma once

#include <cstdint>
#include <string>

namespace orvek::system {

// The bytes of every file below `dir`, links not followed (a link counts as
// nothing: what it points at is not part of the installation). Entries that
// cannot be listed count as nothing; never throws for the file system.
std::uint64_t TreeBytes(const std::wstring& dir);

// The "EstimatedSize" of an uninstall entry: KiB, rounded up, at most what a
// DWORD holds. 0 => 0, 1 => 1, 1024 => 1, 1025 => 2.
inline std::uint32_t EstimatedSizeKiB(std::uint64_t bytes) {
  const std::uint64_t kib = bytes / 1024 + (bytes % 1024 != 0);
  return kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib);
}

}  // namespace orvek::system
