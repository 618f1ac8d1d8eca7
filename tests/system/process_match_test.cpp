#include "system/process_match.h"

#include <gtest/gtest.h>

namespace orvek::system {
namespace {

TEST(ImageNameMatchesTest, ComparesFileNamePartOrWholeName) {
  EXPECT_TRUE(ImageNameMatches(L"orvekclient.exe", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"C:\\Program Files\\Orvek\\orvekclient.exe", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"C:orvekclient.exe", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"C:\\Orvek\\orvekclient.exe", L"C:\\Orvek\\orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"C:\\Orvek\\orvekclient.exe", L"Orvek\\orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"orvekclient.exe.bak", L"orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"xorvekclient.exe", L"orvekclient.exe"));
  EXPECT_FALSE(ImageNameMatches(L"C:\\orvekclient.exe\\other.exe", L"orvekclient.exe"));
}

TEST(ImageNameMatchesTest, IgnoresCaseOfAsciiLettersOnly) {
  EXPECT_TRUE(ImageNameMatches(L"C:\\APP\\OrvekClient.EXE", L"orvekclient.exe"));
  EXPECT_TRUE(ImageNameMatches(L"loghelper.exe", L"logHelper.exe"));
  // Letters beyond ASCII keep their case, whatever the locale would say.
  EXPECT_FALSE(ImageNameMatches(L"\u00e9cole.exe", L"\u00c9cole.exe"));
  EXPECT_TRUE(ImageNameMatches(L"\u00e9COLE.exe", L"\u00e9cole.EXE"));
}

TEST(TaskkillParametersTest, LeadingBlankThenDecimalPid) {
  EXPECT_EQ(TaskkillParameters(4242), L" /f /pid 4242");
  EXPECT_EQ(TaskkillParameters(0), L" /f /pid 0");
  EXPECT_EQ(TaskkillParameters(4294967292u), L" /f /pid 4294967292");
}

}  // namespace
}  // namespace orvek::system
