#include "log/builtin_configuration.h"

#include <gtest/gtest.h>

#include "log/message_format.h"
#include "log/os.h"
#include "log/property_configurator.h"
#include "log/rolling_file_appender.h"
#include "test_files.h"

namespace orvek::log {
namespace {

TEST(BuiltInConfiguration, NineLinesJoinedByCrLf) {
  EXPECT_EQ(BuiltInConfiguration(L"C:\\T\\", L"INFO"),
            L"log4delphi.rootLogger=INFO, fileAppender\r\n"
            L"log4delphi.appender.fileAppender=TRollingFileAppender\r\n"
            L"log4delphi.appender.fileAppender.MaxBackupIndex=100\r\n"
            L"log4delphi.appender.fileAppender.MaxFileSize=10M\r\n"
            L"log4delphi.appender.fileAppender.File=C:\\T\\\\orvek\\teacher-install.log\r\n"
            L"log4delphi.appender.fileAppender.AppDir=false\r\n"
            L"log4delphi.appender.fileAppender.Append=true\r\n"
            L"log4delphi.appender.fileAppender.layout=TPatternLayout\r\n"
            L"log4delphi.appender.fileAppender.layout.Pattern=%d{yyyy-mm-dd hh:nn:ss:zzz} [%5p] %m%n ");
}

// The whole road of one record under the built-in configuration, from the
// configuration text to the bytes in the file.
TEST(BuiltInConfiguration, ExampleRecordBytes) {
  test::TempDir dir;
  LoggerRegistry registry;
  InternalLog trace(SystemPlatform());
  std::wstring temp = dir.path().wstring();
  temp += dir.path().preferred_separator;
  TPropertyConfigurator(registry, SystemPlatform(), trace).ConfigureFromText(BuiltInConfiguration(temp, L"INFO"));

  TLogger& root = registry.GetInstance();
  EXPECT_EQ(&root.GetLevel(), &kInfo);
  ASSERT_EQ(root.GetAppenders().size(), 1u);
  const auto* appender = dynamic_cast<const TRollingFileAppender*>(root.GetAppenders()[0].get());
  ASSERT_NE(appender, nullptr);
  EXPECT_EQ(appender->GetMaxFileSize(), 10485760);
  EXPECT_EQ(appender->GetMaxBackupIndex(), 100);
  EXPECT_TRUE(appender->GetAppend());

  root.Log(kInfo, ThreadPrefix(5120) + L"example message", test::ExampleTime());
  root.Log(kTrace, ThreadPrefix(5120) + L"Log Free", test::ExampleTime());
  registry.FreeInstances();
  EXPECT_EQ(test::ReadBytes(dir.path() / "orvek" / "teacher-install.log"),
            "2024-03-05 09:07:02:045 [ INFO] threadid:5120 example message\r\r\n");
}

}  // namespace
}  // namespace orvek::log
