#include "log/properties.h"

#include <gtest/gtest.h>

#include "log/os.h"
#include "log/property_configurator.h"
#include "log/rolling_file_appender.h"

namespace orvek::log {
namespace {

using Entries = std::vector<TProperties::Entry>;

TEST(PropertyText, LinesCommentsAndTrimming) {
  const TProperties properties = TProperties::Parse(
      L"a = 1\r\n"
      L"#b=2\n"
      L"\n"
      L" #c=3\r"
      L"\td = x=y \r\n"
      L"no equals sign\r\n"
      L"e=");
  EXPECT_EQ(properties.Entries(),
            (Entries{{L"a", L"1"}, {L"#c", L"3"}, {L"d", L"x=y"}, {L"", L""}, {L"e", L""}}));
}

TEST(PropertyText, KeysMatchInAnyCaseAndTheFirstOneCounts) {
  const TProperties properties = TProperties::Parse(L"Log4Delphi.Debug=first\r\nLOG4DELPHI.DEBUG=second");
  EXPECT_EQ(properties.GetProperty(L"log4delphi.debug"), L"first");
  EXPECT_EQ(properties.GetProperty(L"log4delphi.missing"), L"");
}

TEST(PropertyText, ByteOrderMarkChoosesTheEncoding) {
  Platform& platform = SystemPlatform();
  EXPECT_EQ(DecodePropertyBytes("\xEF\xBB\xBF" "k=\xE4\xB8\xAD", platform), L"k=\u4e2d");
  EXPECT_EQ(DecodePropertyBytes(std::string("\xFF\xFEk\0=\0\x2D\x4E", 8), platform), L"k=\u4e2d");
  EXPECT_EQ(DecodePropertyBytes(std::string("\xFE\xFF\0k\0=\x4E\x2D", 8), platform), L"k=\u4e2d");
  EXPECT_EQ(DecodePropertyBytes("k=v", platform), L"k=v");  // ANSI code page
}

TEST(PropertyText, VariableSubstitution) {
  const TProperties properties = TProperties::Parse(L"dir=C:\\t\r\nlevel=WARN");
  EXPECT_EQ(SubstituteVariables(L"${dir}\\a.log", properties), L"C:\\t\\a.log");
  EXPECT_EQ(SubstituteVariables(L"${LEVEL}, a ${none}|", properties), L"WARN, a |");
  EXPECT_EQ(SubstituteVariables(L"${level}, ${dir", properties), L"${level}, ${dir");
  EXPECT_EQ(SubstituteVariables(L"$dir}", properties), L"$dir}");
}

TEST(LoggerValue, LevelThenAppenderNames) {
  LoggerValue value = ParseLoggerValue(L"INFO, fileAppender");
  EXPECT_EQ(value.level, L"INFO");
  EXPECT_EQ(value.appenders, std::vector<std::wstring>{L"fileAppender"});

  value = ParseLoggerValue(L", a,, b ,");
  EXPECT_FALSE(value.level.has_value());
  EXPECT_EQ(value.appenders, (std::vector<std::wstring>{L"a", L"b"}));

  value = ParseLoggerValue(L"DEBUG");
  EXPECT_EQ(value.level, L"DEBUG");
  EXPECT_TRUE(value.appenders.empty());

  value = ParseLoggerValue(L" , a");  // empty first piece: level unchanged
  EXPECT_FALSE(value.level.has_value());
  EXPECT_EQ(value.appenders, std::vector<std::wstring>{L"a"});
}

TEST(MaxFileSize, UpperCaseUnitLetters) {
  EXPECT_EQ(ParseMaxFileSize(L"512K"), 524288);
  EXPECT_EQ(ParseMaxFileSize(L"10M"), 10485760);
  EXPECT_EQ(ParseMaxFileSize(L"1G"), 1073741824);
  EXPECT_EQ(ParseMaxFileSize(L"2047M"), 2146435072);
  EXPECT_EQ(ParseMaxFileSize(L"0K"), 0);
  for (const wchar_t* unchanged : {L"512k", L"10m", L"512", L"", L"K2"}) {
    EXPECT_FALSE(ParseMaxFileSize(unchanged).has_value()) << unchanged;
  }
}

TEST(MaxFileSize, BadCountsAndSizesFromTwoGibibytesOnAreFailures) {
  for (const wchar_t* bad : {L"x1K", L"K", L"1.5M", L" 1K", L"-1K", L"2G", L"2048M", L"2097152K", L"99999999999G"}) {
    EXPECT_THROW(ParseMaxFileSize(bad), FacilityError) << bad;
  }
}

}  // namespace
}  // namespace orvek::log
