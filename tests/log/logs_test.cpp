// The log operations end to end: configuration from the current directory or
// the built-in text, real files, real threads.
#include "log/logs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/unicode.h"
#include "log/os.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orvek::log {
namespace {

namespace fs = test::fs;

constexpr std::int64_t kBuiltInLimit = 10485760;

void PointTempDirectoryAt(const fs::path& dir) {
#ifdef _WIN32
  ::SetEnvironmentVariableW(L"TMP", (dir.wstring() + L"\\").c_str());
#else
  ::setenv("TMPDIR", dir.c_str(), 1);
#endif
}

class LogUnitTest : public ::testing::Test {
 protected:
  LogUnitTest() {
    PointTempDirectoryAt(dir.path());
    SetClockForTesting(&test::ExampleTime);
  }
  ~LogUnitTest() override {
    CloseLog();
    SetClockForTesting(nullptr);
  }

  // The folder and the file of the built-in configuration; a configuration
  // file may point the log at other files in that folder only.
  fs::path LogDir() const { return dir.path() / "orvek"; }
  fs::path BuiltInLog() const { return LogDir() / "teacher-install.log"; }

  static std::string Record(const std::string& level, const std::string& text) {
    return "2024-03-05 09:07:02:045 [" + level + "] threadid:" + std::to_string(CurrentThreadId()) + " " + text +
           "\r\r\n";
  }

  // A log.properties for a rolling file "roll.log" in the log folder.
  void WriteRollingProperties(const std::string& max_size, int backups, const std::string& extra = "") {
    test::WriteBytes(dir.path() / "log.properties",
                     extra +
                         "log4delphi.rootLogger=INFO, roll\r\n"
                         "log4delphi.appender.roll=TRollingFileAppender\r\n"
                         "log4delphi.appender.roll.MaxFileSize=" + max_size + "\r\n"
                         "log4delphi.appender.roll.MaxBackupIndex=" + std::to_string(backups) + "\r\n"
                         "log4delphi.appender.roll.File=" + base::Utf8FromWide((LogDir() / "roll.log").wstring()) + "\r\n"
                         "log4delphi.appender.roll.Append=true\r\n"
                         "log4delphi.appender.roll.layout=TPatternLayout\r\n"
                         "log4delphi.appender.roll.layout.Pattern=[%5p] %m%n\r\n");
  }

  // All records of roll.log and its backups, oldest first.
  std::string RolledText(int backups) const {
    std::string text;
    for (int i = backups; i >= 1; --i) {
      const fs::path backup = LogDir() / (L"roll.log." + std::to_wstring(i));
      if (fs::exists(backup)) text += test::ReadBytes(backup);
    }
    return text + test::ReadBytes(LogDir() / "roll.log");
  }

  test::TempDir dir;
  test::CurrentDirectory cwd{dir.path()};
};

TEST_F(LogUnitTest, BuiltInConfigurationWritesTheRecordsOfEachOperation) {
  ConfigureLog();
  LogInfo(L"example message");
  LogTrace(L"below the root level");
  LogWarn(L"100% sure, %d");
  LogError(L"install failed, \u4e2d");
  LogErrorFmt(L"copy %s failed, %d", L"a.txt", 5);
  LogException(L"PostData error", std::runtime_error("not in the record"));
  LogInfo(L"");
  CloseLog();
  LogInfo(L"after close");
  EXPECT_EQ(test::ReadBytes(BuiltInLog()),
            Record(" INFO", "example message") + Record(" WARN", "100% sure, %d") +
                Record("ERROR", "install failed, \xE4\xB8\xAD") + Record("ERROR", "copy a.txt failed, 5") +
                Record("ERROR", "PostData error\r\n") + Record(" INFO", ""));
}

// An unattended run's /LOG=: the same lines as the configured log, from the
// moment it is added, whatever layout "log.properties" chose.
TEST_F(LogUnitTest, ExtraLogFileGetsTheSameRecordsAsTheLog) {
  WriteRollingProperties("10MB", 1);
  fs::create_directories(dir.path() / "extra");
  test::WriteBytes(dir.path() / "extra" / "run.log", "left from an earlier run\r\n");
  ConfigureLog();
  LogInfo(L"before");
  EXPECT_EQ(AddLogFile((dir.path() / "extra" / "run.log").wstring()), L"");
  EXPECT_EQ(AddLogFile((dir.path() / "new" / "deeper" / "run.log").wstring()), L"");
  LogInfo(L"silent install, \u4e2d");
  LogError(L"install failed, x");
  CloseLog();
  const std::string expected = "[ INFO] threadid:" + std::to_string(CurrentThreadId()) +
                               " silent install, \xE4\xB8\xAD\r\r\n[ERROR] threadid:" +
                               std::to_string(CurrentThreadId()) + " install failed, x\r\r\n";
  EXPECT_EQ(test::ReadBytes(dir.path() / "extra" / "run.log"), expected);
  EXPECT_EQ(test::ReadBytes(dir.path() / "new" / "deeper" / "run.log"), expected);
  const std::string log = test::ReadBytes(LogDir() / "roll.log");
  EXPECT_EQ(log.substr(log.size() - expected.size()), expected);
}

TEST_F(LogUnitTest, ExtraLogFileThatCannotBeCreatedSaysWhy) {
  EXPECT_NE(AddLogFile(dir.file(L"x.log")), L"");  // no log configured yet
  ConfigureLog();
  test::WriteBytes(dir.path() / "a-file", "");
  EXPECT_NE(AddLogFile((dir.path() / "a-file" / "x.log").wstring()), L"");
  LogInfo(L"still logging");
  CloseLog();
  EXPECT_NE(test::ReadBytes(BuiltInLog()).find("still logging"), std::string::npos);
}

TEST_F(LogUnitTest, CallsBeforeConfigurationAreDropped) {
  LogError(L"too early");
  ConfigureLog();
  ConfigureLog();  // once only: a second run must not reopen the file
  LogInfo(L"first");
  CloseLog();
  EXPECT_EQ(test::ReadBytes(BuiltInLog()), Record(" INFO", "first"));
}

TEST_F(LogUnitTest, ExistingLogIsWrittenOnAtItsEnd) {
  fs::create_directories(BuiltInLog().parent_path());
  test::WriteBytes(BuiltInLog(), "\xEF\xBB\xBFold record\r\n");
  ConfigureLog();
  LogInfo(L"new record");
  CloseLog();
  EXPECT_EQ(test::ReadBytes(BuiltInLog()), "\xEF\xBB\xBFold record\r\n" + Record(" INFO", "new record"));
}

// The record that takes the file to 10485760 bytes is written whole and then
// rolled; one byte less and it stays.
TEST_F(LogUnitTest, BuiltInLimitIsTenMebibytes) {
  const std::string record = Record(" INFO", "limit");
  fs::create_directories(BuiltInLog().parent_path());
  test::WriteBytes(BuiltInLog(), std::string(kBuiltInLimit - record.size() - 1, '.'));
  ConfigureLog();
  LogInfo(L"limit");
  EXPECT_EQ(fs::file_size(BuiltInLog()), static_cast<std::uintmax_t>(kBuiltInLimit - 1));
  LogInfo(L"limit");
  LogInfo(L"fresh");
  CloseLog();
  const fs::path backup = BuiltInLog().string() + ".1";
  EXPECT_EQ(fs::file_size(backup), static_cast<std::uintmax_t>(kBuiltInLimit - 1 + record.size()));
  EXPECT_EQ(test::ReadBytes(BuiltInLog()), Record(" INFO", "fresh"));
}

TEST_F(LogUnitTest, LogPropertiesRollIntoNumberedBackups) {
  WriteRollingProperties("1K", 3);
  ConfigureLog();
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    LogInfo(L"record " + std::to_wstring(i));
    expected += "[ INFO] threadid:";
    expected += std::to_string(CurrentThreadId()) + " record " + std::to_string(i) + "\r\r\n";
  }
  CloseLog();
  EXPECT_FALSE(fs::exists(LogDir() / "roll.log.4"));
  for (int i = 1; i <= 3; ++i) {
    const auto size = fs::file_size(LogDir() / (L"roll.log." + std::to_wstring(i)));
    EXPECT_GE(size, 1024u);
    EXPECT_LT(size, 1024u + 40u);
  }
  const std::string kept = RolledText(3);
  ASSERT_LT(kept.size(), expected.size());  // the oldest were deleted
  EXPECT_EQ(kept, expected.substr(expected.size() - kept.size()));
  EXPECT_EQ(kept.compare(0, 7, "[ INFO]"), 0);  // starts with a whole record
}

// A log.properties planted beside the installer may change the level or the
// size, never where the elevated process writes: a file outside the log
// folder is refused, the usual file is written instead, and the trace says so.
TEST_F(LogUnitTest, LogPropertiesCannotPointTheLogOutsideTheLogFolder) {
  const fs::path victim = dir.path() / "victim.txt";
  test::WriteBytes(victim, "precious\r\n");
  const std::string inside_then_out = base::Utf8FromWide((LogDir() / ".." / "victim.txt").wstring());
  for (const std::string& file : {base::Utf8FromWide(victim.wstring()), inside_then_out, std::string("victim.txt")}) {
    test::WriteBytes(dir.path() / "log.properties",
                     "log4delphi.debug=true\r\n"
                     "log4delphi.rootLogger=WARN, a\r\n"
                     "log4delphi.appender.a=TRollingFileAppender\r\n"
                     "log4delphi.appender.a.File=" + file + "\r\n"
                     "log4delphi.appender.a.Append=false\r\n"
                     "log4delphi.appender.a.layout=TPatternLayout\r\n"
                     "log4delphi.appender.a.layout.Pattern=[%5p] %m%n\r\n");
    ConfigureLog();
    LogInfo(L"below the level");
    LogWarn(L"to the usual file");
    CloseLog();
    EXPECT_EQ(test::ReadBytes(victim), "precious\r\n") << file;
    EXPECT_NE(test::ReadBytes(dir.path() / "log4delphi.log").find("may not write [" + file + "]"), std::string::npos)
        << file;
  }
  const std::string line = "[ WARN] threadid:" + std::to_string(CurrentThreadId()) + " to the usual file\r\r\n";
  EXPECT_EQ(test::ReadBytes(BuiltInLog()), line + line + line);
}

TEST_F(LogUnitTest, LogPropertiesWithoutRootLoggerLeaveTheLogSilent) {
  test::WriteBytes(dir.path() / "log.properties", "log4delphi.appender.a=TFileAppender\r\n");
  ConfigureLog();
  LogError(L"nowhere");
  CloseLog();
  EXPECT_FALSE(fs::exists(BuiltInLog()));
}

TEST_F(LogUnitTest, ThreadsWriteWholeRecordsAndLoseNone) {
  constexpr int kThreads = 8;
  constexpr int kRecords = 400;
  WriteRollingProperties("16K", 500);
  ConfigureLog();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < kRecords; ++i) LogInfo(L"seq " + std::to_wstring(i) + L" " + std::wstring(i % 50, L'x'));
    });
  }
  for (std::thread& thread : threads) thread.join();
  CloseLog();

  const std::string text = RolledText(500);
  const std::regex record(R"(\[ INFO\] threadid:(\d+) seq (\d+) x*\r\r\n)");
  std::map<std::string, int> next_seq;  // per thread, records come in order
  std::size_t consumed = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), record); it != std::sregex_iterator(); ++it) {
    ASSERT_EQ(static_cast<std::size_t>(it->position()), consumed) << "garbage before a record";
    consumed += it->length();
    int& expected = next_seq[(*it)[1]];
    EXPECT_EQ(std::stoi((*it)[2]), expected);
    ++expected;
  }
  EXPECT_EQ(consumed, text.size());
  EXPECT_EQ(next_seq.size(), static_cast<std::size_t>(kThreads));
  for (const auto& [thread, count] : next_seq) EXPECT_EQ(count, kRecords) << thread;
}

// Another holder of the file for writing: nothing is written, the program
// goes on, and the failure is in the facility's trace when it is enabled.
TEST_F(LogUnitTest, LogHeldOpenForWritingElsewhereLeavesTheLogSilent) {
  WriteRollingProperties("1M", 3, "log4delphi.debug=TRUE\r\n");
  fs::create_directories(LogDir());
  test::WriteBytes(LogDir() / "roll.log", "theirs\r\n");
#ifdef _WIN32
  // Open for writing with every sharing allowed: only our deny-write open fails.
  HANDLE holder = ::CreateFileW((LogDir() / "roll.log").wstring().c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
#else
  auto holder = SystemPlatform().OpenForAppend((LogDir() / "roll.log").wstring());
#endif
  ConfigureLog();
  LogInfo(L"lost");
  CloseLog();
#ifdef _WIN32
  ::CloseHandle(holder);
#else
  holder.reset();
#endif
  EXPECT_EQ(test::ReadBytes(LogDir() / "roll.log"), "theirs\r\n");
  const std::string trace = test::ReadBytes(dir.path() / "log4delphi.log");
  const std::string properties = base::Utf8FromWide(CurrentDirectory() + L"log.properties");
  EXPECT_NE(trace.find("ERROR: Could not read configuration file [" + properties + "] Cannot open file"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("ERROR: Ignoring configuration file [" + properties + "]\r\n"), std::string::npos) << trace;
}

}  // namespace
}  // namespace orvek::log
