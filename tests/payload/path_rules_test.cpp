#include "payload/path_rules.h"

#include <gtest/gtest.h>

namespace orvek::payload {
namespace {

TEST(IsSafeItemPath, PlainRelativePathsPass) {
  EXPECT_TRUE(IsSafeItemPath(L"app.exe"));
  EXPECT_TRUE(IsSafeItemPath(L"bin\\plugins\\x.dll"));
  EXPECT_TRUE(IsSafeItemPath(L"bin/plugins/x.dll"));
  EXPECT_TRUE(IsSafeItemPath(L"\u4e2d\u6587\\\u8bf4\u660e.txt"));
  EXPECT_TRUE(IsSafeItemPath(L"..hidden\\a..b.txt"));
}

TEST(IsSafeItemPath, EscapesAreRefused) {
  EXPECT_FALSE(IsSafeItemPath(L"..\\evil.txt"));
  EXPECT_FALSE(IsSafeItemPath(L"../evil.txt"));
  EXPECT_FALSE(IsSafeItemPath(L"a\\..\\..\\b"));
  EXPECT_FALSE(IsSafeItemPath(L"a\\.."));
  EXPECT_FALSE(IsSafeItemPath(L".\\a"));
  // Windows drops trailing dots and spaces, so these become "..".
  EXPECT_FALSE(IsSafeItemPath(L"...\\a"));
  EXPECT_FALSE(IsSafeItemPath(L".. \\a"));
}

TEST(IsSafeItemPath, AbsoluteDriveUncAndStreamsAreRefused) {
  EXPECT_FALSE(IsSafeItemPath(L"C:\\abs.txt"));
  EXPECT_FALSE(IsSafeItemPath(L"C:abs.txt"));
  EXPECT_FALSE(IsSafeItemPath(L"\\Windows\\x.dll"));
  EXPECT_FALSE(IsSafeItemPath(L"/etc/x"));
  EXPECT_FALSE(IsSafeItemPath(L"\\\\server\\share\\x"));
  EXPECT_FALSE(IsSafeItemPath(L"\\\\?\\C:\\x"));
  EXPECT_FALSE(IsSafeItemPath(L"a.txt:stream"));
}

TEST(IsSafeItemPath, EmptyPartsAreRefused) {
  EXPECT_FALSE(IsSafeItemPath(L""));
  EXPECT_FALSE(IsSafeItemPath(L"a\\\\b"));
  EXPECT_FALSE(IsSafeItemPath(L"a\\"));
  EXPECT_FALSE(IsSafeItemPath(std::wstring_view(L"a\0b", 3)));
}

// What the library makes of names that carry characters Windows forbids.
TEST(IsSafeItemPath, ForbiddenCharactersAndTheLibrarysStandInsAreRefused) {
  EXPECT_FALSE(IsSafeItemPath(L"..\uF05Cevil.txt"));
  EXPECT_FALSE(IsSafeItemPath(L"sub\uF05C..\uF05C..\uF05Cevil.txt"));
  EXPECT_FALSE(IsSafeItemPath(L"a\uF03Ab.txt"));
  EXPECT_FALSE(IsSafeItemPath(L"a\uF0FF"));
  for (const wchar_t* name : {L"a*.txt", L"a?.txt", L"a\"b", L"a<b", L"a>b", L"a|b", L"a\tb"}) {
    EXPECT_FALSE(IsSafeItemPath(name)) << ReadableItemPath(name).size();
  }
  EXPECT_TRUE(IsSafeItemPath(L"a\uEFFF\uF100.txt"));  // private use, but no stand-in
}

TEST(ReadableItemPath, ShowsWhatTheStandInsStandFor) {
  EXPECT_EQ(ReadableItemPath(L"..\uF05Cevil.txt"), L"..\\evil.txt");
  EXPECT_EQ(ReadableItemPath(L"a\uF001\tb"), L"a??b");
  EXPECT_EQ(ReadableItemPath(L"bin\\\u4e2d.txt"), L"bin\\\u4e2d.txt");
}

}  // namespace
}  // namespace orvek::payload
