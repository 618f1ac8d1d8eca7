#include "base/text.h"

#include <gtest/gtest.h>

#include "base/hex.h"
#include "base/unicode.h"

namespace orvek::base {
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

TEST(Trim, RemovesBlanksAndControlsAtBothEndsOnly) {
  EXPECT_EQ(Trim(std::wstring_view(L" \t v6.15.1\r\n\0\0", 14)), L"v6.15.1");
  EXPECT_EQ(Trim(std::wstring_view(L"a\0 b", 4)), std::wstring_view(L"a\0 b", 4));
  EXPECT_EQ(Trim(L"\x7f\u3000x\u3000"), L"\x7f\u3000x\u3000") << "only U+0020 and below are blanks";
  EXPECT_EQ(Trim(L" \t\r\n"), L"");
  EXPECT_EQ(Trim(" \tkey = value\r"), "key = value");
  // Bytes of UTF-8 sequences are above 0x7F, not controls.
  EXPECT_EQ(Trim("\xC3\xA9 \xE4\xB8\xAD"), "\xC3\xA9 \xE4\xB8\xAD");
}

TEST(CaseFolding, ChangesOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLower(L"AZ_az-09.`{@[\u00c4\u0130"), L"az_az-09.`{@[\u00c4\u0130");
  EXPECT_EQ(AsciiLower("KERNEL32.DLL\xC3\x84"), "kernel32.dll\xC3\x84");
  EXPECT_TRUE(SameText(L"OrvekClient.EXE", L"orvekclient.exe"));
  EXPECT_FALSE(SameText(L"\u00e9cole", L"\u00c9cole"));
  EXPECT_FALSE(SameText(L"@", L"`"));
  EXPECT_TRUE(StartsWithText(L"LOG4DELPHI.logger.x", L"log4delphi.logger."));
  EXPECT_FALSE(StartsWithText(L"log4", L"log4delphi"));
}

TEST(Hex, PadsToTheWantedWidthInEitherCase) {
  EXPECT_EQ(Hex(0), "0");
  EXPECT_EQ(Hex(0x14C, 4), "014C");
  EXPECT_EQ(Hex(0x8664, 2), "8664") << "never cut";
  EXPECT_EQ(Hex(0xFFFFFFFFFFFFFFFFull), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Hex(0xABCDEF, 8, HexCase::kLower), "00abcdef");
  const std::uint8_t bytes[] = {0x00, 0x0A, 0xF0, 0xFF};
  EXPECT_EQ(HexBytes(bytes), "000AF0FF");
  EXPECT_EQ(HexBytes(bytes, HexCase::kLower), "000af0ff");
}

}  // namespace
}  // namespace orvek::base
