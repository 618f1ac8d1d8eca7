#include "system/installations/aside_rules.h"

#include <gtest/gtest.h>

namespace orvek::system {
namespace {

TEST(AsideRulesTest, NamesBesideTheLocationAndTrustsOnlyThose) {
  EXPECT_EQ(AsideLocation(L"C:\\a\\orvek\\", 1), L"C:\\a\\orvek.orvek-previous");
  EXPECT_EQ(AsideLocation(L"C:\\a\\orvek", 3), L"C:\\a\\orvek.orvek-previous-3");
  EXPECT_EQ(AsideLocation(L"C:\\", 1), L"");
  EXPECT_TRUE(IsAsideOf(L"C:\\a\\orvek", L"c:\\A\\Orvek.orvek-previous-2"));
  // A recorded pair that would move another folder into the location.
  EXPECT_FALSE(IsAsideOf(L"C:\\a\\orvek", L"C:\\Windows"));
  EXPECT_FALSE(IsAsideOf(L"C:\\a\\orvek", L"C:\\b\\orvek.orvek-previous"));
}

}  // namespace
}  // namespace orvek::system
