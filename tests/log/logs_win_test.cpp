// What only Windows can show: the log file's sharing towards other handles
// and processes, and temporary directories outside the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/unique_handle.h"
#include "log/logs.h"
#include "log/os.h"
#include "support/child_process.h"
#include "test_files.h"

namespace orvek::log {
namespace {

namespace fs = test::fs;

constexpr wchar_t kChildSwitch[] = L"ORVEK_LOG_TEST_CHILD";

class LogFileSharingTest : public ::testing::Test {
 protected:
  LogFileSharingTest() { ::SetEnvironmentVariableW(L"TMP", (dir.wstring() + L"\\").c_str()); }
  ~LogFileSharingTest() override { CloseLog(); }

  std::wstring LogPath() const { return (dir / L"orvek" / L"teacher-install.log").wstring(); }

  static base::UniqueHandle Open(const std::wstring& path, DWORD access) {
    return base::MakeUniqueHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  test::TempDir temp;
  fs::path dir = temp.path() / L"\u65e5\u5fd7 \u00e9";  // outside most ANSI code pages
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

  LogInfo(L"still first");
  CloseLog();
  const std::string text = test::ReadBytes(LogPath());
  EXPECT_NE(text.find("still first"), std::string::npos);
  EXPECT_EQ(text.find("second process"), std::string::npos);
}

// The body of the second process above; skipped in a normal run.
TEST(LogChildProcess, LogsWhileTheParentHoldsTheFile) {
  if (::GetEnvironmentVariableW(kChildSwitch, nullptr, 0) == 0) GTEST_SKIP() << "runs as a child process only";
  ConfigureLog();
  LogInfo(L"second process");
  CloseLog();
}

}  // namespace
}  // namespace orvek::log
