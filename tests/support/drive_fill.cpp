#include "support/drive_fill.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace orvek::test {

void FillDriveLeaving(const std::filesystem::path& file, std::uint64_t keep_bytes) {
  ULARGE_INTEGER free{};
  ASSERT_TRUE(::GetDiskFreeSpaceExW(file.root_path().c_str(), &free, nullptr, nullptr));
  std::ofstream out(file, std::ios::binary);
  const std::string block(1 << 20, 'x');
  for (std::uint64_t left = free.QuadPart - keep_bytes; left > 0;) {
    const std::uint64_t n = std::min<std::uint64_t>(left, block.size());
    out.write(block.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
}

}  // namespace orvek::test
