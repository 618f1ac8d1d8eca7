// The whole payload stretch: installer file in, tree out, temporary files gone.
#include "payload/payload_extraction.h"

#include <windows.h>
#include <psapi.h>
#include <sddl.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/unicode.h"
#include "base/unique_handle.h"
#include "payload/private_temp_folder.h"
#include "payload/seven_zip_reader.h"
#include "payload_test_files.h"
#include "support/child_process.h"
#include "support/log_tail.h"
#include "support/scratch_dir.h"
#include "support/wine_links.h"
#include "system/files/temp_directory.h"

namespace orvek::payload {
namespace {

namespace fs = std::filesystem;
using test::Fixture;

constexpr std::int32_t kOffset = 4096;

std::uint64_t TreeSize(const fs::path& root) {
  std::uint64_t sum = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) sum += entry.file_size();
  }
  return sum;
}

class Stretch : public testing::Test {
 protected:
  Stretch() {
    hooks_.show_error_page = [this](const std::wstring& text) { pages_.push_back(text); };
    hooks_.show_progress = [this](std::int32_t percent) { percents_.push_back(percent); };
    hooks_.after_extract = [this] { ++after_extract_; };
  }
  fs::path Installer() const { return scratch_.path() / L"setup.exe"; }
  fs::path Target() const { return scratch_.path() / L"target"; }
  bool Run() { return ExtractPayload({Installer().wstring(), nullptr}, Target().wstring(), hooks_); }

  test::ScratchDir scratch_;
  PayloadHooks hooks_;
  std::vector<std::wstring> pages_;
  std::vector<std::int32_t> percents_;
  int after_extract_ = 0;
};

TEST_F(Stretch, ExtractsTheAppendedArchiveWithTrailingBytes) {
  // 20,000 bytes behind the archive stand for a certificate table.
  test::MakeInstallerFile(Installer(), kOffset, kOffset, Fixture(L"good.7z"), 20000);
  test::LogTail log;

  ASSERT_TRUE(Run());

  EXPECT_EQ(test::TreeDifferences(Fixture(L"tree"), Target()), std::vector<std::wstring>());
  EXPECT_TRUE(pages_.empty());
  EXPECT_EQ(after_extract_, 1);
  ASSERT_FALSE(percents_.empty());
  // The library announces the total first; shown, it would fill the bar
  // before anything is extracted.
  EXPECT_LT(percents_.front(), 100);
  EXPECT_EQ(percents_.back(), 100);
  for (std::int32_t percent : percents_) {
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
  }
  const std::string lines = log.Appended();
  for (const std::string& expected :
       {std::string("begin to analyze zip file..."), std::string("begin to save zip file..."),
        std::string("analyze zip file finished."), std::string("begin to get total filesize..."),
        "get total filesize finished, " + std::to_string(TreeSize(Fixture(L"tree"))),
        std::string("begin to unzip file..."), std::string("UnzipProgressCallback100"),
        std::string("unzip file finished.")}) {
    EXPECT_NE(lines.find(expected), std::string::npos) << expected;
  }
  // Every notice is logged; the window gets the same percents in the same
  // order, a repeated one only once, all but the total's announcement.
  const std::string tag = "UnzipProgressCallback";
  std::vector<std::int32_t> logged;
  for (auto at = lines.find(tag); at != std::string::npos; at = lines.find(tag, at + 1)) {
    logged.push_back(std::atoi(lines.c_str() + at + tag.size()));
  }
  ASSERT_FALSE(logged.empty());
  logged.erase(logged.begin());
  logged.erase(std::unique(logged.begin(), logged.end()), logged.end());
  EXPECT_EQ(percents_, logged);
  EXPECT_EQ(test::PrivateTempFolders(), std::vector<std::wstring>());
}

TEST_F(Stretch, RefusedOffsetWritesNothing) {
  for (std::int32_t offset : {0, -1}) {
    SCOPED_TRACE(offset);
    pages_.clear();
    test::MakeInstallerFile(Installer(), offset, kOffset, Fixture(L"good.7z"), 0);
    test::LogTail log;

    EXPECT_FALSE(Run());

    EXPECT_EQ(pages_, std::vector<std::wstring>{L"\u8bf7\u5173\u95ed\u5f53\u524d\u7a0b\u5e8f\uff0c\u91cd\u65b0\u5b89\u88c5\uff01"});
    EXPECT_NE(log.Appended().find("[ERROR]"), std::string::npos);
    EXPECT_NE(log.Appended().find("get zip file postion less then 0"), std::string::npos);
    EXPECT_EQ(test::PrivateTempFolders(), std::vector<std::wstring>());
    EXPECT_FALSE(fs::exists(Target()));
  }
}

// Stored as single names, which the library hands over with U+F05C inside.
TEST_F(Stretch, NamesWithBackslashesInsideFailReadablyAndWriteNothing) {
  test::MakeInstallerFile(Installer(), kOffset, kOffset, Fixture(L"evil-backslash.7z"), 0);
  std::string failure = "(no failure)";
  try {
    Run();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  EXPECT_TRUE(failure == "unsafe item path ..\\evil.txt" || failure == "unsafe item path sub\\..\\..\\evil.txt")
      << failure;
  EXPECT_FALSE(fs::exists(Target()));
  EXPECT_FALSE(fs::exists(scratch_.path() / L"evil.txt"));
  EXPECT_EQ(after_extract_, 0);
}

TEST_F(Stretch, FailuresLeaveNoTemporaryFiles) {
  // Each is the installer file's fault, not the machine's: an unattended run
  // reports a damaged installer for them.
  for (const wchar_t* name : {L"truncated.7z", L"corrupt.7z", L"evil-dotdot.7z"}) {
    test::MakeInstallerFile(Installer(), kOffset, kOffset, Fixture(name), 0);
    EXPECT_THROW(Run(), ArchiveDamagedError) << base::Utf8FromWide(name);
    EXPECT_EQ(test::PrivateTempFolders(), std::vector<std::wstring>());
  }
  EXPECT_EQ(after_extract_, 0);
}

TEST(ExtractArchiveLibrary, WritesTheEmbeddedLibrary) {
  test::ScratchDir scratch;
  const std::wstring path = ExtractArchiveLibrary(scratch.path().wstring(), nullptr);
  EXPECT_EQ(path, scratch.path().wstring() + L"\\7z.dll");
  const std::string cached = ORVEK_7ZDLL_FILE;
  EXPECT_EQ(test::ReadBytes(path), test::ReadBytes(std::wstring(cached.begin(), cached.end())));
}

TEST(CopyPayload, MemoryDoesNotGrowWithThePayload) {
  test::ScratchDir scratch;
  const fs::path installer = scratch.path() / L"big-setup.exe";
  const std::size_t chunk = 1 << 20, chunks = 96;
  {
    std::ofstream out(installer, std::ios::binary);
    const std::string block(chunk, 'x');
    for (std::size_t i = 0; i < chunks; ++i) out.write(block.data(), static_cast<std::streamsize>(chunk));
  }
  PROCESS_MEMORY_COUNTERS before{};
  ASSERT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before)));

  const fs::path copy = scratch.path() / L"copy.7z";
  CopyPayload(installer.wstring(), 1000, copy.wstring());

  PROCESS_MEMORY_COUNTERS after{};
  ASSERT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after)));
  EXPECT_EQ(fs::file_size(copy), chunk * chunks - 1000);
  EXPECT_LT(after.PeakPagefileUsage - before.PeakPagefileUsage, SIZE_T{8} << 20);
}

TEST(PrivateTempFolder, IsFreshAndRemovedWithItsFiles) {
  std::wstring path;
  {
    PrivateTempFolder first;
    PrivateTempFolder second;
    path = first.path();
    EXPECT_NE(first.path(), second.path());
    test::WriteBytes(path + L"\\7z.dll", "x");
    ::SetFileAttributesW((path + L"\\7z.dll").c_str(), FILE_ATTRIBUTE_READONLY);
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST(PrivateTempFolder, FileThatCannotBeDeletedIsLogged) {
  std::wstring file;
  base::UniqueHandle held;
  test::LogTail log;
  {
    PrivateTempFolder folder;
    file = folder.path() + L"\\orvekteacher-tmp.zip";
    held = base::MakeUniqueHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
  }
  EXPECT_NE(log.Appended().find("delete tmp file error, " + base::Utf8FromWide(file)), std::string::npos);
  held.reset();
  const fs::path folder = fs::path(file).parent_path();
  fs::remove_all(folder);
}

TEST(PrivateTempFolder, OnlyAdministratorsAndSystemMayWrite) {
  PrivateTempFolder folder;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW(folder.path().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &dacl, nullptr, &descriptor),
            DWORD{ERROR_SUCCESS});
  wchar_t* text = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
      descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
  const std::wstring sddl(text);
  ::LocalFree(text);
  ::LocalFree(descriptor);
  // Wine keeps a descriptor only where the host file system stores extended
  // attributes; without one it reports a made-up default, never protected.
  if (sddl.rfind(L"D:P", 0) != 0) GTEST_SKIP() << "no stored security descriptor here: " << sddl;
  EXPECT_EQ(sddl, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
}

constexpr wchar_t kLeftBehindSwitch[] = L"ORVEK_LEFT_BEHIND_FOLDER";

// What an installer ended during its extraction leaves: its private folder
// with the payload copy in it. The folders of earlier runs go, look-alikes
// stay, and so does what a look-alike link points to.
TEST(PrivateTempFolder, FoldersLeftByEndedRunsAreRemovedLookAlikesStay) {
  test::ScratchDir scratch;
  const fs::path told = scratch.path() / L"folder.txt";
  std::wstring program(MAX_PATH, L'\0');
  program.resize(::GetModuleFileNameW(nullptr, program.data(), MAX_PATH));
  ::SetEnvironmentVariableW(kLeftBehindSwitch, told.c_str());
  test::ChildProcess child = test::ChildProcess::Start(program, {L"--gtest_filter=LeftBehindChild.*"});
  ::SetEnvironmentVariableW(kLeftBehindSwitch, nullptr);
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  while (test::ReadBytes(told).empty() && ::GetTickCount64() < deadline) ::Sleep(20);
  child.Terminate();
  const fs::path left = test::ReadBytes(told);
  ASSERT_TRUE(fs::exists(left / L"orvekteacher-tmp.zip")) << left.string();

  const fs::path temp = system::GetTempDirectory();
  const fs::path elsewhere = scratch.path() / L"elsewhere";
  fs::create_directories(elsewhere);
  test::WriteBytes(elsewhere / L"7z.dll", "theirs");
  const fs::path link = temp / L"orvek-abcdef0123";
  ASSERT_NO_FATAL_FAILURE(test::MakeSymbolicLink(link.wstring(), elsewhere.wstring()));
  const fs::path other_name = temp / L"orvek-notours";
  fs::create_directories(other_name);
  test::WriteBytes(other_name / L"7z.dll", "theirs");

  RemoveStalePrivateTempFolders();

  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) << "the link was removed";
  EXPECT_EQ(test::ReadBytes(elsewhere / L"7z.dll"), "theirs");
  EXPECT_EQ(test::ReadBytes(other_name / L"7z.dll"), "theirs");
  test::RemoveLink(link.wstring());
  fs::remove_all(other_name);
}

// The body of the ended run above; skipped in a normal run.
TEST(LeftBehindChild, HoldsAPrivateFolderUntilEnded) {
  wchar_t told[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(kLeftBehindSwitch, told, MAX_PATH) == 0) GTEST_SKIP() << "runs as a child only";
  PrivateTempFolder folder;
  test::WriteBytes(folder.path() + L"\\orvekteacher-tmp.zip", "payload copy");
  test::WriteBytes(told, base::Utf8FromWide(folder.path()));
  ::Sleep(60000);
}

}  // namespace
}  // namespace orvek::payload
