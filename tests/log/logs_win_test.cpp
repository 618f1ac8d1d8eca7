// What only Windows can show: the log file's sharing towards other handles
// and processes, and temporary directories outside the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>

#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "log/os.h"
#include "support/child_process.h"
#include "support/wine_links.h"
#include "test_files.h"

namespace orvek::log {
namespace {

namespace fs = test::fs;

constexpr wchar_t kChildSwitch[] = L"ORVEK_LOG_TEST_CHILD";

// Points the system's temporary directory (TMP) at `dir` while it lives,
// then puts the program's own back for the tests that follow.
class ScopedTempDirectory {
 public:
  explicit ScopedTempDirectory(const fs::path& dir) {
    wchar_t previous[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"TMP", previous, MAX_PATH + 1);
    had_ = n > 0 && n <= MAX_PATH;
    previous_.assign(previous, had_ ? n : 0);
    ::SetEnvironmentVariableW(L"TMP", (dir.wstring() + L"\\").c_str());
  }
  ~ScopedTempDirectory() { ::SetEnvironmentVariableW(L"TMP", had_ ? previous_.c_str() : nullptr); }

 private:
  bool had_ = false;
  std::wstring previous_;
};

class LogFileSharingTest : public ::testing::Test {
 protected:
  ~LogFileSharingTest() override { CloseLog(); }

  std::wstring LogPath() const { return (dir / L"orvek" / L"teacher-install.log").wstring(); }

  static base::UniqueHandle Open(const std::wstring& path, DWORD access) {
    return base::MakeUniqueHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  test::TempDir temp;
  fs::path dir = temp.path() / L"\u65e5\u5fd7 \u00e9";  // outside most ANSI code pages
  ScopedTempDirectory temp_variable{dir};
  test::CurrentDirectory cwd{temp.path()};
};

TEST_F(LogFileSharingTest, TemporaryDirectoryOutsideTheAnsiCodePageKeepsTheLog) {
  fs::create_directories(dir);
  ConfigureLog();
  LogInfo(L"\u5b89\u88c5");
  CloseLog();
  const std::string text = test::ReadBytes(LogPath());
  EXPECT_NE(text.find("] threadid:"), std::string::npos);
  EXPECT_NE(text.find(" \xE5\xAE\x89\xE8\xA3\x85\r\r\n"), std::string::npos);
}

TEST_F(LogFileSharingTest, OthersMayReadTheOpenLogButNotWriteIt) {
  fs::create_directories(dir);
  ConfigureLog();
  LogInfo(L"open");
  EXPECT_TRUE(Open(LogPath(), GENERIC_READ));
  EXPECT_FALSE(Open(LogPath(), GENERIC_WRITE));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// A second installer process started while this one holds the log writes
// nothing and ends normally.
TEST_F(LogFileSharingTest, SecondProcessCannotOpenTheLogAndRunsOn) {
  fs::create_directories(dir);
  ConfigureLog();
  LogInfo(L"first process");

  std::wstring program(MAX_PATH, L'\0');
  program.resize(::GetModuleFileNameW(nullptr, program.data(), MAX_PATH));
  ::SetEnvironmentVariableW(kChildSwitch, L"1");
  test::ChildProcess child = test::ChildProcess::Start(program, {L"--gtest_filter=LogChildProcess.*"});
  ::SetEnvironmentVariableW(kChildSwitch, nullptr);
  EXPECT_EQ(child.WaitForExit(60000), 0u);
  // Else the child ran no test at all, and nothing below could fail.
  EXPECT_TRUE(fs::exists(temp.path() / "child.ran"));

  LogInfo(L"still first");
  CloseLog();
  const std::string text = test::ReadBytes(LogPath());
  EXPECT_NE(text.find("still first"), std::string::npos);
  EXPECT_EQ(text.find("second process"), std::string::npos);
}

// A user can put links in the temporary folder where the elevated installer
// writes its log; what they point at must stay as it was.
class LogLinkTest : public ::testing::Test {
 protected:
  LogLinkTest() {
    fs::create_directories(temp_dir);
    fs::create_directories(elsewhere);
    test::WriteBytes(victim, "precious\r\n");
  }
  ~LogLinkTest() override { CloseLog(); }

  void RunLog() {
    ConfigureLog();
    LogInfo(L"written");
    CloseLog();
  }

  // Removed by a tool that never follows a link out of it.
  test::TestTree tree;
  fs::path temp_dir = fs::path(tree(L"tmp"));
  fs::path log_dir = temp_dir / L"orvek";
  fs::path elsewhere = fs::path(tree(L"system"));
  fs::path victim = elsewhere / L"teacher-install.log";
  ScopedTempDirectory temp_variable{temp_dir};
  test::CurrentDirectory cwd{fs::path(tree())};
};

TEST_F(LogLinkTest, NoLogThroughALinkInPlaceOfTheLogFolder) {
  ASSERT_NO_FATAL_FAILURE(test::MakeSymbolicLink(log_dir.wstring(), elsewhere.wstring()));
  RunLog();
  EXPECT_EQ(test::ReadBytes(victim), "precious\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 1);
}

TEST_F(LogLinkTest, NoLogThroughASymbolicLinkInPlaceOfTheLogFile) {
  fs::create_directories(log_dir);
  ASSERT_NO_FATAL_FAILURE(test::MakeSymbolicLink((log_dir / L"teacher-install.log").wstring(), victim.wstring()));
  RunLog();
  EXPECT_EQ(test::ReadBytes(victim), "precious\r\n");
}

// Append=false would truncate what a hard link shares with its target.
TEST_F(LogLinkTest, NoLogThroughAHardLinkInPlaceOfTheLogFile) {
  fs::create_directories(log_dir);
  ASSERT_NO_FATAL_FAILURE(test::MakeHardLink((log_dir / L"teacher-install.log").wstring(), victim.wstring()));
  for (const char* append : {"true", "false"}) {
    test::WriteBytes(fs::path(tree(L"log.properties")),
                     "log4delphi.rootLogger=INFO, a\r\nlog4delphi.appender.a=TFileAppender\r\n"
                     "log4delphi.appender.a.File=" + base::Utf8FromWide((log_dir / L"teacher-install.log").wstring()) +
                         "\r\nlog4delphi.appender.a.Append=" + append +
                         "\r\nlog4delphi.appender.a.layout=TSimpleLayout\r\n");
    RunLog();
    EXPECT_EQ(test::ReadBytes(victim), "precious\r\n") << "Append=" << append;
  }
}

TEST_F(LogLinkTest, ARealFolderAndFileStillGetTheLog) {
  RunLog();
  EXPECT_NE(test::ReadBytes(log_dir / L"teacher-install.log").find("written"), std::string::npos);
}

// The body of the second process above; skipped in a normal run.
TEST(LogChildProcess, LogsWhileTheParentHoldsTheFile) {
  if (::GetEnvironmentVariableW(kChildSwitch, nullptr, 0) == 0) GTEST_SKIP() << "runs as a child process only";
  ConfigureLog();
  LogInfo(L"second process");
  CloseLog();
  test::WriteBytes("child.ran", "");
}

}  // namespace
}  // namespace orvek::log
