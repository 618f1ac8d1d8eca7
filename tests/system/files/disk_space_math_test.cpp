#include "system/files/disk_space_math.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace orvek::system {
namespace {

TEST(DriveOfPathTest, FirstCharacterAndColon) {
  EXPECT_EQ(DriveOfPath(L"D:\\Program Files\\Orvek"), L"D:");
  EXPECT_EQ(DriveOfPath(L"c"), L"c:");
  EXPECT_EQ(DriveOfPath(L"\\\\server\\share\\dir"), L"\\:");
  EXPECT_EQ(DriveOfPath(L""), L"");
}

TEST(FreeGigabytesTest, CountsWholeStepsOf1024Sectors) {
  EXPECT_EQ(FreeGigabytes(8, 512, 0), 0.0);
  // 1023 free sectors are less than one step.
  EXPECT_EQ(FreeGigabytes(1, 512, 1023), 0.0);
  EXPECT_EQ(FreeGigabytes(1, 512, 1024), 512.0 / 1048576.0);
  EXPECT_EQ(FreeGigabytes(8, 512, 262144), 1.0);          // 1 GiB of 4 KiB clusters
  EXPECT_EQ(FreeGigabytes(1, 4096, 262144 + 300), 1.0);   // remainder dropped
  EXPECT_EQ(FreeGigabytes(8, 512, 209715), 0.7998046875);  // 1638 steps
}

TEST(FreeGigabytesTest, ExactBeyondFourTebibytes) {
  // 5 TiB free in 4 KiB clusters: clusters * sectors overflow 32 bits.
  EXPECT_EQ(FreeGigabytes(8, 512, 5ull << 28), 5120.0);
  // The largest count a drive can report, with 64 KiB clusters (256 TiB):
  // (2^32 - 1) * 128 sectors = 536870911 steps and 896 sectors left over.
  EXPECT_EQ(FreeGigabytes(128, 512, 0xFFFFFFFFull), 536870911.0 * 512.0 / 1048576.0);
  EXPECT_EQ(FreeGigabytes(128, 512, 0xFFFFFFFFull), 262143.99951171875);
  // 4 KiB sectors: 16 TiB.
  EXPECT_EQ(FreeGigabytes(1, 4096, 1ull << 32), 16384.0);
}

}  // namespace
}  // namespace orvek::system
