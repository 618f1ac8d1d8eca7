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

}  // namespace
}  // namespace orvek::payload
