#include "app/install_rules.h"

#include <gtest/gtest.h>

#include <set>

namespace orvek::app {
namespace {

TEST(TargetDirectory, TakesTheFirstExistingLocationThenTheProgramFolder) {
  const std::set<std::wstring> existing = {L"E:\\v50\\", L"D:\\Apps\\orvek\\orvekteacher\\"};
  const auto exists = [&](const std::wstring& p) { return existing.count(p) > 0; };
  EXPECT_EQ(ChooseTargetDirectory(L"", L"", L"C:\\Program Files (x86)", exists),
            L"C:\\Program Files (x86)\\orvek\\orvekteacher");
  EXPECT_EQ(ChooseTargetDirectory(L"D:\\gone\\", L"E:\\v50\\", L"C:\\PF", exists), L"E:\\v50");
  EXPECT_EQ(ChooseTargetDirectory(L"D:\\Apps\\orvek\\orvekteacher\\", L"E:\\v50\\", L"C:\\PF", exists),
            L"D:\\Apps\\orvek\\orvekteacher");
  EXPECT_EQ(ChooseTargetDirectory(L"D:\\gone\\", L"F:\\gone\\", L"C:\\PF", exists), L"C:\\PF\\orvek\\orvekteacher");
  EXPECT_EQ(StripTrailingBackslashes(L"C:\\\\"), L"C:");
}

TEST(FolderBrowser, StartsAboveTheSubPathAndAppendsItEveryTime) {
  EXPECT_EQ(FolderBrowserStart(L"C:\\Program Files (x86)\\orvek\\orvekteacher"), L"C:\\Program Files (x86)\\");
  EXPECT_EQ(FolderBrowserStart(L"D:\\Games\\some-other-target"), L"D:\\Games");
  EXPECT_EQ(FolderBrowserStart(L"orvek\\orvekteacher"), L"");
  EXPECT_EQ(TargetBelowFolder(L"D:\\"), L"D:\\orvek\\orvekteacher");
  EXPECT_EQ(TargetBelowFolder(L"D:\\Games"), L"D:\\Games\\orvek\\orvekteacher");
  EXPECT_EQ(TargetBelowFolder(L"D:\\Games\\orvek\\orvekteacher"),
            L"D:\\Games\\orvek\\orvekteacher\\orvek\\orvekteacher");
}

TEST(FreeSpace, ThresholdAndText) {
  EXPECT_TRUE(HasTooLittleSpace(0.79));
  EXPECT_FALSE(HasTooLittleSpace(0.8));
  EXPECT_EQ(FreeSpaceText(12.344, L'.'), L"磁盘剩余空间：12.34GB");
  EXPECT_EQ(FreeSpaceText(1234.567, L','), L"磁盘剩余空间：1234,57GB");
  EXPECT_EQ(FreeSpaceText(0.8, L'.'), L"磁盘剩余空间：0.80GB");
  EXPECT_EQ(ExpandHeight(520), 460);
  EXPECT_EQ(ExpandHeight(650), 575);
  EXPECT_EQ(FormSizeLine(520, 325, L"AB12"), L"formsize520,325, AB12");
}

TEST(InstallEvent, ExtraDataCarriesThePathUnchangedAndTheFreeSpaceValue) {
  EXPECT_EQ(InstallExtraData(L"C:\\Program Files (x86)\\orvek\\orvekteacher", L"磁盘剩余空间：12.34GB"),
            "{\"clientPath\":\"C:\\\\Program Files (x86)\\\\orvek\\\\orvekteacher\","
            "\"clientPathAvlspace\":\"12.34GB\"}");
  // Untrimmed, quotes and slashes escaped, no colon: the whole label.
  EXPECT_EQ(InstallExtraData(L" D:/a\"b\t", L"12GB"),
            "{\"clientPath\":\" D:\\/a\\\"b\\t\",\"clientPathAvlspace\":\"12GB\"}");
}

TEST(InstallDirectoryText, TrimsBlanksAndTrailingBackslashes) {
  EXPECT_EQ(InstallDirectory(L" \tD:\\Apps\\orvek\\ \r\n"), L"D:\\Apps\\orvek");
  EXPECT_EQ(InstallDirectory(L"   "), L"");
  EXPECT_TRUE(RequestsUpdaterRemoval(L"C:\\Downloads\\noupdate\\setup.exe"));
  EXPECT_FALSE(RequestsUpdaterRemoval(L"C:\\Downloads\\NoUpdate\\setup.exe"));
}

TEST(InstallScope, AnInstallationKeepsItsScopeAndSilentRunsAreForAllUsers) {
  using orvek::system::InstallScope;
  constexpr InstallScope kAll = InstallScope::kAllUsers, kUser = InstallScope::kCurrentUser;
  const std::wstring found = L"C:\\PF\\orvek\\orvekteacher\\";
  const struct {
    ScopeFacts facts;
    InstallScope scope;
    const wchar_t* reason;
  } cases[] = {
      {{L"", false, false, false, false}, kUser, L"run from the window, no all-users installation found"},
      {{found, false, false, false, false}, kAll, L"upgrading the all-users installation in C:\\PF\\orvek\\orvekteacher\\"},
      {{L"", true, false, false, false}, kAll, L"running as LocalSystem"},
      {{L"", false, false, false, true}, kAll, L"silent run without /CURRENTUSER"},
      {{L"", false, false, true, true}, kUser, L"/CURRENTUSER"},
      {{found, false, false, true, true}, kAll,
       L"upgrading the all-users installation in C:\\PF\\orvek\\orvekteacher\\, /CURRENTUSER does not apply"},
      {{L"", true, false, true, true}, kAll, L"running as LocalSystem, /CURRENTUSER does not apply"},
      {{found, true, true, false, true}, kAll, L"/ALLUSERS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const ScopeChoice choice = ChooseInstallScope(c.facts);
    EXPECT_EQ(choice.scope, c.scope);
    EXPECT_EQ(choice.reason, c.reason);
  }
}

}  // namespace
}  // namespace orvek::app
