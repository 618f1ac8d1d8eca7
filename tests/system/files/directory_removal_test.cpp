#include "system/files/directory_removal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "base/text.h"
#include "base/unicode.h"
#include "support/log_tail.h"
#include "system/files/removal_rules.h"
#include "system/files/tree_removal.h"
#include "system/installations/previous_installations.h"
#include "support/wine_links.h"

namespace orvek::system {
namespace {

using test::Exists;
using test::Has;
using test::HasLine;
using test::ReadText;
using test::WriteText;

bool IsEmptyDirectory(const std::wstring& dir) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  int entries = 0;
  do {
    entries += std::wstring(found.cFileName) != L"." && std::wstring(found.cFileName) != L"..";
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return entries == 0;
}

class DelDirTest : public ::testing::Test {
 protected:
  void MakeDir(const std::wstring& relative) {
    ASSERT_TRUE(::CreateDirectoryW(tree_(relative).c_str(), nullptr)) << base::Utf8FromWide(relative);
  }
  // "<tree>\<name>\a\b\c" with a file on every level.
  std::wstring MakeInstallation(const std::wstring& name = L"orvek") {
    for (const wchar_t* d : {L"", L"\\a", L"\\a\\b", L"\\a\\b\\c"}) MakeDir(name + d);
    for (const wchar_t* f : {L"\\1.txt", L"\\a\\2.txt", L"\\a\\b\\3.txt", L"\\a\\b\\c\\4.txt"}) {
      WriteText(tree_(name + f), "x");
    }
    return tree_(name) + L"\\";
  }
  // A folder the removal must never reach, with content.
  std::wstring MakeVictim(const std::wstring& relative) {
    MakeDir(relative);
    WriteText(tree_(relative + L"\\keep.txt"), "precious");
    return tree_(relative);
  }

  test::TestTree tree_;
};

TEST_F(DelDirTest, EmptiesAThreeLevelTreeKeepingOrRemovingTheDirectory) {
  const std::wstring location = MakeInstallation();
  test::LogTail log;
  EXPECT_TRUE(DelDir(location, nullptr, false, false));
  EXPECT_TRUE(IsEmptyDirectory(location));
  EXPECT_TRUE(Has(log.Appended(), L"[ INFO]")) << log.Appended();
  EXPECT_TRUE(Has(log.Appended(), L"DelDir " + location)) << log.Appended();

  MakeInstallation(L"orvek2");
  EXPECT_TRUE(DelDir(tree_(L"orvek2"), nullptr, false, true));
  EXPECT_FALSE(Exists(tree_(L"orvek2")));
  EXPECT_EQ(log.Appended().find("Cannot delete"), std::string::npos) << log.Appended();
}

TEST_F(DelDirTest, MissingLocationIsFalseWithoutALogLine) {
  test::LogTail log;
  EXPECT_FALSE(DelDir(tree_(L"orvek-gone\\"), nullptr, false, false));
  EXPECT_FALSE(DelDir(L"", nullptr, false, false));
  EXPECT_EQ(log.Appended(), "");
}

// Wine cannot remove the link itself (it only ever reaches the target, and
// shows a link to a file as a plain file), so only the Windows side checks
// that the link is gone; the target must survive everywhere.
TEST_F(DelDirTest, LinkToADirectoryInsideIsNeverEnteredItsTargetSurvives) {
  const std::wstring location = MakeInstallation();
  const std::wstring victim = MakeVictim(L"victim");
  const std::wstring link = location + L"a\\dirlink";
  test::MakeSymbolicLink(link, victim);
  DelDir(location, nullptr, false, true);
  EXPECT_EQ(ReadText(victim + L"\\keep.txt"), "precious");
  EXPECT_FALSE(Exists(location + L"a\\b"));
  EXPECT_FALSE(Exists(location + L"1.txt"));
  if (!test::RunsUnderWine()) {
    EXPECT_FALSE(Exists(location));
  }
}

// The walk is paused after listing "a"; meanwhile its subfolder "b" is
// renamed and a link to another folder put at its name. The walk neither
// enters the link nor deletes through it.
TEST_F(DelDirTest, ASubfolderSwappedForALinkWhileTheWalkRunsIsNotEntered) {
  const std::wstring location = MakeInstallation();
  const std::wstring victim = MakeVictim(L"victim");
  SetTreeWalkPauseForTesting([&](const std::wstring& directory) {
    if (directory.size() < 3 || directory.substr(directory.size() - 3) != L"\\a\\") return;
    ASSERT_TRUE(::MoveFileW((location + L"a\\b").c_str(), (location + L"b-moved").c_str()));
    test::MakeSymbolicLink(location + L"a\\b", victim);
  });
  test::LogTail log;
  DelDir(location, nullptr, false, false);
  SetTreeWalkPauseForTesting(nullptr);
  EXPECT_EQ(ReadText(victim + L"\\keep.txt"), "precious");
  EXPECT_TRUE(Has(log.Appended(), L"Cannot delete File " + location + L"a\\b")) << log.Appended();
  EXPECT_FALSE(Exists(location + L"a\\2.txt"));
}

TEST_F(DelDirTest, ReadOnlyFileStaysLoggedWithItsDirectories) {
  const std::wstring location = MakeInstallation();
  const std::wstring stuck = location + L"a\\b\\ro.txt";
  WriteText(stuck, "ro");
  ASSERT_TRUE(::SetFileAttributesW(stuck.c_str(), FILE_ATTRIBUTE_READONLY));
  test::LogTail log;
  EXPECT_TRUE(DelDir(location, nullptr, false, true));
  EXPECT_EQ(ReadText(stuck), "ro");
  EXPECT_TRUE(Has(log.Appended(), L"Cannot delete File " + stuck)) << log.Appended();
  EXPECT_FALSE(Exists(location + L"a\\b\\c"));
  EXPECT_FALSE(Exists(location + L"1.txt"));
  ::SetFileAttributesW(stuck.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DelDirTest, DirectoryOutsideTheAttributeTableStaysWithItsContent) {
  const std::wstring location = MakeInstallation();
  const std::wstring odd = location + L"odd";
  MakeDir(L"orvek\\odd");
  WriteText(odd + L"\\inside.txt", "in");
  // Directory + hidden + system: 0x16 is in the table; add archive: 0x36 is not.
  ::SetFileAttributesW(odd.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  const DWORD attributes = ::GetFileAttributesW(odd.c_str());
  if (IsDirectoryEntry(attributes, L"odd")) GTEST_SKIP() << "attributes kept as " << attributes;
  test::LogTail log;
  DelDir(location, nullptr, false, false);
  EXPECT_EQ(ReadText(odd + L"\\inside.txt"), "in");
  EXPECT_TRUE(Has(log.Appended(), L"Cannot delete File " + odd)) << log.Appended();
  ::SetFileAttributesW(odd.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Every refusal: nothing deleted, the historic warning with the path.
class DelDirGuardTest : public DelDirTest {
 protected:
  void ExpectRefused(const std::wstring& location, const std::wstring& victim,
                     const std::wstring& reason) {
    test::LogTail log;
    EXPECT_FALSE(DelDir(location, nullptr, false, true));
    EXPECT_EQ(ReadText(victim + L"\\keep.txt"), "precious");
    std::wstring line = L"[ WARN]";
    EXPECT_TRUE(Has(log.Appended(), line)) << log.Appended();
    line = L"DelDir failed, the dir is not contain orvek, " + location;
    if (!reason.empty()) line += L", " + reason;
    EXPECT_TRUE(HasLine(log.Appended(), line)) << log.Appended();
    EXPECT_FALSE(Has(log.Appended(), L"DelDir " + location)) << log.Appended();
  }
};

TEST_F(DelDirGuardTest, OrvekInAnotherLetterCase) {
  const std::wstring victim = MakeVictim(L"Orvek");
  ExpectRefused(victim + L"\\", victim, L"");
}

TEST_F(DelDirGuardTest, DotDotLeadingOutOfTheProductFolder) {
  MakeDir(L"orvek");
  const std::wstring victim = MakeVictim(L"victim");
  ExpectRefused(tree_(L"orvek\\..\\victim\\"), victim, L"");
}

TEST_F(DelDirGuardTest, DriveRoot) {
  const std::wstring victim = MakeVictim(L"drive");
  MakeDir(L"drive\\orvek");
  const test::ScopedDrive drive(L'Q', victim);
  ExpectRefused(L"Q:\\orvek\\..\\", victim, L"the location is a drive or share root");
}

TEST_F(DelDirGuardTest, ShareRoot) {
  const std::wstring victim = MakeVictim(L"share");
  MakeDir(L"share\\orvek");
  const test::ScopedServer server(L"fileserver", tree_());
  ExpectRefused(L"\\\\fileserver\\share\\orvek\\..\\", victim, L"the location is a drive or share root");
}

TEST_F(DelDirGuardTest, LinkNamedLikeTheProduct) {
  const std::wstring victim = MakeVictim(L"victim");
  test::MakeSymbolicLink(tree_(L"orvek"), victim);
  ExpectRefused(tree_(L"orvek"), victim, L"the location is a link");
  const RemovalCheck check = CheckRemovalLocation(tree_(L"orvek"));
  EXPECT_FALSE(check.accepted());
  EXPECT_EQ(check.final_path, victim);
}

TEST_F(DelDirGuardTest, BelowALinkNamedLikeTheProduct) {
  const std::wstring victim = MakeVictim(L"victim");
  MakeVictim(L"victim\\sub");
  test::MakeSymbolicLink(tree_(L"orvek"), victim);
  ExpectRefused(tree_(L"orvek\\sub\\"), victim + L"\\sub", L"");
  EXPECT_EQ(ReadText(victim + L"\\keep.txt"), "precious");
}

// The variable names a folder; only "<it>\orvekclient" as resolved goes.
TEST_F(DelDirGuardTest, UserDataThroughAnAppDataValueWithDotDot) {
  MakeDir(L"a");
  MakeDir(L"b");
  const std::wstring kept = MakeVictim(L"a\\orvekclient");
  MakeVictim(L"b\\orvekclient");

  wchar_t old[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"APPDATA", old, MAX_PATH);
  ::SetEnvironmentVariableW(L"APPDATA", tree_(L"a\\..\\b").c_str());
  ClearUserData();
  EXPECT_FALSE(Exists(tree_(L"b\\orvekclient")));
  EXPECT_EQ(ReadText(kept + L"\\keep.txt"), "precious");

  // The user-data folder itself a link: refused, the target untouched.
  const std::wstring victim = MakeVictim(L"victim");
  test::MakeSymbolicLink(tree_(L"b\\orvekclient"), victim);
  test::LogTail log;
  ClearUserData();
  EXPECT_EQ(ReadText(victim + L"\\keep.txt"), "precious");
  EXPECT_TRUE(Has(log.Appended(), L"the location is a link")) << log.Appended();
  ::SetEnvironmentVariableW(L"APPDATA", old);
}

}  // namespace
}  // namespace orvek::system
