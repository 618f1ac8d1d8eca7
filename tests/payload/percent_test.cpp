#include "payload/percent.h"

#include <gtest/gtest.h>

namespace orvek::payload {
namespace {

TEST(PercentOf, TruncatesTowardZero) {
  EXPECT_EQ(PercentOf(7999999, 800000000), 0);
  EXPECT_EQ(PercentOf(8000000, 800000000), 1);
  EXPECT_EQ(PercentOf(799999999, 800000000), 99);
}

TEST(PercentOf, TotalEqualToSumIsHundredAndMoreIsPassedOn) {
  EXPECT_EQ(PercentOf(800000000, 800000000), 100);
  EXPECT_EQ(PercentOf(1200000000, 800000000), 150);
}

TEST(PercentOf, WorksBeyondThirtyTwoBits) {
  const std::uint64_t sum = 5000000000ull;
  EXPECT_EQ(PercentOf(2500000000ll, sum), 50);
  EXPECT_EQ(PercentOf(5000000000ll, sum), 100);
}

TEST(PercentOf, EmptyPayloadShowsDone) { EXPECT_EQ(PercentOf(0, 0), 100); }

TEST(ItemSize, LargestSignedThirtyTwoBitSizeIsCounted) {
  EXPECT_EQ(CheckedItemSize(0), 0u);
  EXPECT_EQ(CheckedItemSize(2147483647u), 2147483647u);
}

TEST(ItemSize, TwoGibibytesAndMoreAreRangeErrors) {
  EXPECT_THROW(CheckedItemSize(2147483648u), RangeError);
  EXPECT_THROW(CheckedItemSize(4000000000u), RangeError);
  EXPECT_THROW(CheckedItemSize(1ull << 40), RangeError);
}

TEST(ItemSize, SumIsSixtyFourBits) {
  std::uint64_t sum = 0;
  for (int i = 0; i < 5; ++i) sum = AddItemSize(sum, CheckedItemSize(1000000000u));
  EXPECT_EQ(sum, 5000000000ull);
}

}  // namespace
}  // namespace orvek::payload
