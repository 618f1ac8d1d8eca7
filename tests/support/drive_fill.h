// Filling a small test drive so that only a given amount stays free.
#pragma once

#include <cstdint>
#include <filesystem>

namespace orvek::test {

// Writes `file` (on a drive of its own, e.g. L"S:\\fill.bin") until
// `keep_bytes` stay free on that drive. Fails the current test when the
// drive's free space cannot be read; the caller removes `file` afterwards.
void FillDriveLeaving(const std::filesystem::path& file, std::uint64_t keep_bytes);

}  // namespace orvek::test
