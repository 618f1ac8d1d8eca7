#include "log/rolling_file_appender.h"

#include <gtest/gtest.h>

#include <string>

#include "log/os.h"
#include "log/pattern_layout.h"
#include "test_files.h"

namespace orvek::log {
namespace {

class RollingTest : public ::testing::Test {
 protected:
  std::unique_ptr<TRollingFileAppender> Open(std::int32_t backups, std::int64_t max_size, bool append = true) {
    auto appender = std::make_unique<TRollingFileAppender>(SystemPlatform(), trace);
    appender->SetMaxBackupIndex(backups);
    appender->SetMaxFileSize(max_size);
    appender->SetAppend(append);
    appender->SetFile(path);
    appender->SetLayout(std::make_unique<TPatternLayout>(L"%m"));
    return appender;
  }

  static void Write(TRollingFileAppender& appender, const std::wstring& text) {
    appender.DoAppend(TLoggingEvent{&kInfo, text, test::ExampleTime(), nullptr, L"ROOT"});
  }

  // Backup `index` of the file, or the file itself for 0.
  std::wstring Name(int index) const { return index == 0 ? path : path + L"." + std::to_wstring(index); }
  std::string Read(int index = 0) const { return test::ReadBytes(Name(index)); }
  bool Exists(int index) const { return test::fs::exists(Name(index)); }

  test::TempDir dir;
  InternalLog trace{SystemPlatform()};
  std::wstring path = dir.file(L"app.log");
};

TEST_F(RollingTest, NewestBackupIsOneAndTheOldestIsDeletedFirst) {
  auto appender = Open(3, 0);  // every record fills the file
  for (int i = 1; i <= 5; ++i) Write(*appender, L"r" + std::to_wstring(i));
  appender.reset();
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(Read(1), "r5\r\n");
  EXPECT_EQ(Read(2), "r4\r\n");
  EXPECT_EQ(Read(3), "r3\r\n");
  EXPECT_FALSE(Exists(4));
}

TEST_F(RollingTest, RecordsAreWrittenWholeAndRollOnlyAtTheLimit) {
  auto appender = Open(50, 1024);
  std::string all;
  for (int i = 0; i < 300; ++i) {
    const std::wstring text = L"record " + std::to_wstring(i) + std::wstring(i % 37, L'x');
    Write(*appender, text);
    all += std::string(text.begin(), text.end()) + "\r\n";
  }
  appender.reset();
  std::string joined;
  for (int i = 50; i >= 1; --i) {
    if (!Exists(i)) continue;
    const std::string backup = Read(i);
    EXPECT_GE(backup.size(), 1024u) << i;
    EXPECT_LT(backup.size(), 1024u + 60u) << i;  // past the limit by one record at most
    EXPECT_EQ(backup.compare(0, 7, "record "), 0) << i;
    joined += backup;
  }
  joined += Read();
  EXPECT_EQ(joined, all);
}

TEST_F(RollingTest, FileAlreadyAtTheLimitRollsAfterTheFirstNewRecord) {
  test::WriteBytes(path, std::string(100, 'o'));
  auto appender = Open(2, 100);
  Write(*appender, L"new");
  Write(*appender, L"next");
  appender.reset();
  EXPECT_EQ(Read(1), std::string(100, 'o') + "new\r\n");
  EXPECT_EQ(Read(), "next\r\n");
}

TEST_F(RollingTest, WithoutBackupsTheFileIsReopened) {
  auto appender = Open(0, 4);
  Write(*appender, L"kept");
  Write(*appender, L"too");
  appender.reset();
  EXPECT_EQ(Read(), "kept\r\ntoo\r\n");
  EXPECT_FALSE(Exists(1));

  appender = Open(0, 4, false);
  Write(*appender, L"gone");
  appender.reset();
  EXPECT_EQ(Read(), "");
}

TEST_F(RollingTest, FailedRenameKeepsWritingToTheSameFile) {
  test::fs::create_directory(path + L".1");  // the first backup's name is taken
  auto appender = Open(1, 1);
  Write(*appender, L"a");
  Write(*appender, L"b");
  appender.reset();
  EXPECT_EQ(Read(), "a\r\nb\r\n");
}

}  // namespace
}  // namespace orvek::log
