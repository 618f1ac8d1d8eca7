#include "log/text.h"

#include <gtest/gtest.h>

namespace orvek::log {
namespace {

// U+00E9, U+4E2D (CJK), U+1F600 (outside the BMP: a surrogate pair on Windows).
const std::wstring kMixed = std::wstring(L"a\u00e9\u4e2d") + WideFromUtf8("\xF0\x9F\x98\x80");
const std::string kMixedUtf8 = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";

TEST(Utf8, RoundTripsEveryPlane) {
  EXPECT_EQ(Utf8FromWide(kMixed), kMixedUtf8);
  EXPECT_EQ(WideFromUtf8(kMixedUtf8), kMixed);
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(WideFromUtf8("a\xFF" "b"), L"a\uFFFDb");
  EXPECT_EQ(WideFromUtf8("\xC3"), L"\uFFFD");           // truncated sequence
  EXPECT_EQ(WideFromUtf8("\xC0\xAF"), L"\uFFFD");       // overlong "/"
  EXPECT_EQ(WideFromUtf8("\xE4\xB8" "x"), L"\uFFFDx");  // continuation missing
}

TEST(Utf16, DecodesBothByteOrdersAndSurrogatePairs) {
  EXPECT_EQ(WideFromUtf16(std::string("a\0\xE9\0\x2D\x4E\x3D\xD8\x00\xDE", 10), false), kMixed);
  EXPECT_EQ(WideFromUtf16(std::string("\0a\0\xE9\x4E\x2D\xD8\x3D\xDE\x00", 10), true), kMixed);
  EXPECT_EQ(WideFromUtf16(std::string("\x3D\xD8" "a\0", 4), false), L"\uFFFDa");  // lone high surrogate
}

TEST(DecimalInt32, AcceptsOnlySignAndDigitsWithin32Bits) {
  EXPECT_EQ(ParseDecimalInt32(L"100"), 100);
  EXPECT_EQ(ParseDecimalInt32(L"-12"), -12);
  EXPECT_EQ(ParseDecimalInt32(L"2147483647"), 2147483647);
  EXPECT_EQ(ParseDecimalInt32(L"-2147483648"), -2147483647 - 1);
  for (const wchar_t* bad : {L"", L"-", L"12 ", L" 12", L"0x10", L"$10", L"1e3", L"2147483648"}) {
    EXPECT_FALSE(ParseDecimalInt32(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace orvek::log
