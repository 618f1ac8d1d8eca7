#include "system/files/disk_space.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "support/log_tail.h"
#include "system/files/temp_directory.h"

namespace orvek::system {
namespace {

constexpr double kGiB = 1073741824.0;

std::uint64_t FreeBytes(const std::wstring& root) {
  ULARGE_INTEGER available{}, total{}, free{};
  EXPECT_TRUE(::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free));
  return free.QuadPart;
}

// One step of the result: 1024 sectors of the drive, in GiB.
double StepGiB(const std::wstring& root) {
  DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
  EXPECT_TRUE(::GetDiskFreeSpaceW(root.c_str(), &sectors, &bytes, &free_clusters, &clusters));
  return 1024.0 * bytes / kGiB;
}

// Other programs write to the drive meanwhile, so the reference is read on
// both sides of the call and the result must fall into that span, less at
// most one step that the rounding down may cost.
void ExpectAgreesWithDrive(const std::wstring& path, const std::wstring& root) {
  const double step = StepGiB(root);
  double low = 0, high = 0, result = 0;
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::uint64_t before = FreeBytes(root);
    result = GetDiskFreeGB(path);
    const std::uint64_t after = FreeBytes(root);
    low = static_cast<double>(std::min(before, after)) / kGiB;
    high = static_cast<double>(std::max(before, after)) / kGiB;
    if (before == after) break;
  }
  EXPECT_GT(result, low - step) << "path " << path.size();
  EXPECT_LE(result, high);
}

TEST(GetDiskFreeGBTest, AgreesWithTheDrivesFreeSpace) {
  const std::wstring temp = GetTempDirectory();
  const std::wstring root = temp.substr(0, 3);  // e.g. "C:\"
  ExpectAgreesWithDrive(temp, root);
  EXPECT_GT(GetDiskFreeGB(temp), 0.0);
}

TEST(GetDiskFreeGBTest, OnlyTheFirstCharacterNamesTheDrive) {
  const std::wstring temp = GetTempDirectory();
  const std::wstring root = temp.substr(0, 3);
  std::wstring lower = temp.substr(0, 1) + L":\\no\\such\\folder\\at\\all";
  lower[0] = static_cast<wchar_t>(::towlower(lower[0]));
  ExpectAgreesWithDrive(lower, root);
  ExpectAgreesWithDrive(temp.substr(0, 1), root);
  // Anything after the first character is ignored, even a different drive.
  ExpectAgreesWithDrive(temp.substr(0, 1) + L"Q:\\", root);
}

wchar_t UnusedDriveLetter() {
  const DWORD drives = ::GetLogicalDrives();
  for (int i = 25; i >= 3; --i) {
    if (!(drives & (1u << i))) return static_cast<wchar_t>(L'A' + i);
  }
  return 0;
}

TEST(GetDiskFreeGBTest, UnqueryableDriveGivesZeroAndIsLogged) {
  const wchar_t letter = UnusedDriveLetter();
  ASSERT_NE(letter, 0);
  test::LogTail log;
  EXPECT_EQ(GetDiskFreeGB(std::wstring(1, letter) + L":\\Program Files\\Orvek"), 0.0);
  EXPECT_EQ(GetDiskFreeGB(L"\\\\server\\share\\Orvek"), 0.0);
  EXPECT_EQ(GetDiskFreeGB(L""), 0.0);
  const std::string written = log.Appended();
  size_t lines = 0;
  for (size_t at = written.find("GetDiskFreeSpace error: "); at != std::string::npos;
       at = written.find("GetDiskFreeSpace error: ", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 3u) << written;
}

}  // namespace
}  // namespace orvek::system
