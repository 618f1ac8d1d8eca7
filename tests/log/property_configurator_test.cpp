#include "log/property_configurator.h"

#include <gtest/gtest.h>

#include "base/unicode.h"
#include "log/os.h"
#include "log/rolling_file_appender.h"
#include "test_files.h"

namespace orvek::log {
namespace {

class ConfiguratorTest : public ::testing::Test {
 protected:
  // Configures from text with the facility's trace on, as support would.
  void Configure(const std::wstring& text) {
    TPropertyConfigurator(registry, SystemPlatform(), trace).ConfigureFromText(L"log4delphi.debug=true\r\n" + text);
  }

  // An appender N writing file N.log with the simple layout.
  std::wstring FileAppender(const std::wstring& name, const std::wstring& class_name = L"TFileAppender") {
    const std::wstring prefix = L"log4delphi.appender." + name;
    return prefix + L"=" + class_name + L"\r\n" + prefix + L".File=" + dir.file(name + L".log") + L"\r\n" + prefix +
           L".layout=TSimpleLayout\r\n";
  }

  std::string Trace() { return test::ReadBytes(dir.path() / "log4delphi.log"); }
  TLogger& Root() { return registry.GetInstance(); }
  void Log(const TLevel& level, const std::wstring& text) { Root().Log(level, text, test::ExampleTime()); }

  test::TempDir dir;
  test::CurrentDirectory cwd{dir.path()};  // the trace file goes here
  LoggerRegistry registry;
  InternalLog trace{SystemPlatform()};
};

TEST_F(ConfiguratorTest, RootLoggerKeyInCapitalsConfiguresTheRootLogger) {
  Configure(L"LOG4DELPHI.ROOTLOGGER=warn, A\r\n" + FileAppender(L"A"));
  EXPECT_EQ(&Root().GetLevel(), &kWarn);
  ASSERT_EQ(Root().GetAppenders().size(), 1u);
  EXPECT_EQ(Root().GetAppenders()[0]->GetName(), L"A");
  Log(kInfo, L"dropped");
  Log(kWarn, L"kept");
  registry.FreeInstances();
  EXPECT_EQ(test::ReadBytes(dir.path() / "A.log"), "WARN - kept\r\n");
}

TEST_F(ConfiguratorTest, ValueStartingWithACommaKeepsTheLevelAndAttachesTheAppender) {
  Root().SetLevel(kError);
  Configure(L"log4delphi.rootLogger=, a\r\n" + FileAppender(L"a"));
  EXPECT_EQ(&Root().GetLevel(), &kError);
  EXPECT_EQ(Root().GetAppenders().size(), 1u);
}

TEST_F(ConfiguratorTest, OnlyALevelSetsItAndLeavesNoAppender) {
  Configure(L"log4delphi.rootLogger=INFO, a\r\n" + FileAppender(L"a"));
  ASSERT_EQ(Root().GetAppenders().size(), 1u);
  Configure(L"log4delphi.rootLogger=DEBUG\r\n" + FileAppender(L"a"));
  EXPECT_EQ(&Root().GetLevel(), &kDebug);
  EXPECT_TRUE(Root().GetAppenders().empty());
}

TEST_F(ConfiguratorTest, UnknownAppenderClassIsNotedAndSkipped) {
  Configure(L"log4delphi.rootLogger=INFO, console, file\r\n"
            L"log4delphi.appender.console=TConsoleAppender\r\n" +
            FileAppender(L"file"));
  ASSERT_EQ(Root().GetAppenders().size(), 1u);
  EXPECT_EQ(Root().GetAppenders()[0]->GetName(), L"file");
  EXPECT_NE(Trace().find("ERROR: Could not instantiate appender named \"console\".\r\n"), std::string::npos);
}

TEST_F(ConfiguratorTest, MissingRootLoggerIsNotedAndLeavesTheLogSilent) {
  Configure(FileAppender(L"a"));
  EXPECT_TRUE(Root().GetAppenders().empty());
  EXPECT_NE(Trace().find("Could not find root logger information.\r\n"), std::string::npos);
}

TEST_F(ConfiguratorTest, FailureEndsTheRunAndKeepsWhatWasApplied) {
  const std::wstring text = L"log4delphi.threshold=WARN\r\n"
                            L"log4delphi.rootLogger=INFO, a\r\n"
                            L"log4delphi.logger.net=DEBUG\r\n" +
                            FileAppender(L"a", L"TRollingFileAppender") +
                            L"log4delphi.appender.a.MaxBackupIndex=ten";
  Configure(text);
  EXPECT_EQ(&Root().GetLevel(), &kInfo);
  EXPECT_TRUE(Root().GetAppenders().empty());
  EXPECT_EQ(&registry.GetInstance(L"later").GetLevel(), &kWarn);  // threshold was applied
  EXPECT_EQ(&registry.GetInstance(L"net").GetLevel(), &kWarn);    // never configured
  EXPECT_NE(Trace().find("ERROR: Ignoring configuration [log4delphi.debug=true\r\n" +
                         base::Utf8FromWide(text) + "]\r\n"),
            std::string::npos);
}

TEST_F(ConfiguratorTest, UnknownLevelKeepsTheLoggersLevelAndAppenders) {
  Configure(L"log4delphi.rootLogger=ERROR, a\r\n" + FileAppender(L"a"));
  Configure(L"log4delphi.rootLogger=LOUD\r\n");
  EXPECT_EQ(&Root().GetLevel(), &kError);
  EXPECT_EQ(Root().GetAppenders().size(), 1u);
}

TEST_F(ConfiguratorTest, FileFailureNotesTheFileAndTheReason) {
  const std::wstring path = dir.file(L"log.properties");
  test::WriteBytes(path, "log4delphi.debug=true\r\nlog4delphi.rootLogger=INFO, a\r\n"
                         "log4delphi.appender.a=TRollingFileAppender\r\n"
                         "log4delphi.appender.a.MaxFileSize=x1K\r\n");
  TPropertyConfigurator(registry, SystemPlatform(), trace).ConfigureFromFile(path);
  const std::string shown = base::Utf8FromWide(path);
  EXPECT_NE(Trace().find("ERROR: Could not read configuration file [" + shown + "] \"x1\" is not a valid integer value\r\n"
                         "ERROR: Ignoring configuration file [" + shown + "]\r\n"),
            std::string::npos);
}

// The file lies where anything may be planted: it is refused unread when
// over-long, and 2,000,000,000 backups would be looked for at every roll-over.
TEST_F(ConfiguratorTest, OverLongFileAndUnboundedBackupCountAreFailures) {
  const std::wstring path = dir.file(L"log.properties");
  test::WriteBytes(path, "#" + std::string(kMaxConfigurationBytes, 'x'));
  trace.Enable(L"log4delphi.log");
  TPropertyConfigurator(registry, SystemPlatform(), trace).ConfigureFromFile(path);
  EXPECT_NE(Trace().find("] the file is longer than 65536 bytes\r\n"), std::string::npos) << Trace();
  Configure(L"log4delphi.rootLogger=INFO, a\r\n" + FileAppender(L"a", L"TRollingFileAppender") +
            L"log4delphi.appender.a.MaxBackupIndex=2000000000");
  EXPECT_TRUE(Root().GetAppenders().empty());
}

TEST_F(ConfiguratorTest, RollingLimitsFromProperties) {
  auto rolling = [&] { return dynamic_cast<TRollingFileAppender*>(Root().GetAppenders().at(0).get()); };
  Configure(L"log4delphi.rootLogger=INFO, a\r\n" + FileAppender(L"a", L"TRollingFileAppender") +
            L"log4delphi.appender.a.MaxFileSize=512K\r\nlog4delphi.appender.a.MaxBackupIndex=7");
  EXPECT_EQ(rolling()->GetMaxFileSize(), 524288);
  EXPECT_EQ(rolling()->GetMaxBackupIndex(), 7);
  registry.FreeInstances();
  Configure(L"log4delphi.rootLogger=INFO, a\r\n" + FileAppender(L"a", L"TRollingFileAppender") +
            L"log4delphi.appender.a.MaxFileSize=512k");
  EXPECT_EQ(rolling()->GetMaxFileSize(), 10485760);
  EXPECT_EQ(rolling()->GetMaxBackupIndex(), 1);
  EXPECT_FALSE(rolling()->GetAppend());
}

TEST_F(ConfiguratorTest, LoggersShareAnAppenderByName) {
  Configure(L"log4delphi.rootLogger=INFO, a\r\nlog4delphi.logger.net=${lvl}, A\r\nlvl=TRACE\r\n" + FileAppender(L"a"));
  TLogger& net = registry.GetInstance(L"net");
  EXPECT_EQ(&net.GetLevel(), &kTrace);
  ASSERT_EQ(net.GetAppenders().size(), 1u);
  EXPECT_EQ(net.GetAppenders()[0], Root().GetAppenders().at(0));
}

TEST_F(ConfiguratorTest, AppenderWithoutALayoutWritesNothing) {
  Configure(L"log4delphi.rootLogger=INFO, a\r\nlog4delphi.appender.a=TFileAppender\r\nlog4delphi.appender.a.File=" +
            dir.file(L"a.log") + L"\r\nlog4delphi.appender.a.layout=THTMLLayout");
  Log(kError, L"nowhere");
  registry.FreeInstances();
  EXPECT_EQ(test::ReadBytes(dir.path() / "a.log"), "");
}

}  // namespace
}  // namespace orvek::log
