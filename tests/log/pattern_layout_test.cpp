#include "log/pattern_layout.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "log/date_format.h"
#include "test_files.h"

namespace orvek::log {
namespace {

TLoggingEvent Event(const TLevel& level, std::wstring message) {
  return TLoggingEvent{&level, std::move(message), test::ExampleTime(), nullptr, L"ROOT"};
}

constexpr wchar_t kInstallerPattern[] = L"%d{yyyy-mm-dd hh:nn:ss:zzz} [%5p] %m%n";

TEST(PatternLayout, InstallerPatternEndsInASingleCarriageReturn) {
  const TPatternLayout layout(kInstallerPattern);
  EXPECT_EQ(layout.Format(Event(kInfo, L"threadid:5120 example message")),
            L"2024-03-05 09:07:02:045 [ INFO] threadid:5120 example message\r");
}

TEST(PatternLayout, LevelColumnIsFiveWideRightAligned) {
  const TPatternLayout layout(L"[%5p]");
  EXPECT_EQ(layout.Format(Event(kFatal, L"")), L"[FATAL]");
  EXPECT_EQ(layout.Format(Event(kError, L"")), L"[ERROR]");
  EXPECT_EQ(layout.Format(Event(kWarn, L"")), L"[ WARN]");
  EXPECT_EQ(layout.Format(Event(kInfo, L"")), L"[ INFO]");
  EXPECT_EQ(layout.Format(Event(kDebug, L"")), L"[DEBUG]");
  EXPECT_EQ(layout.Format(Event(kTrace, L"")), L"[TRACE]");
}

TEST(PatternLayout, ValuesAreNeverReadAsConversions) {
  const TPatternLayout layout(kInstallerPattern);
  const std::wstring message = L"100% done, %d %m %5p %n %s {x}";
  EXPECT_EQ(layout.Format(Event(kWarn, message)), L"2024-03-05 09:07:02:045 [ WARN] " + message + L"\r");
}

TEST(PatternLayout, FieldWidthsAlignmentAndMaximumLength) {
  TLoggingEvent event = Event(kInfo, L"abcdef");
  EXPECT_EQ(TPatternLayout(L"<%-6p><%.3m><%8m><%2.4m><%L>").Format(event), L"<INFO  ><abc><  abcdef><abcd><ROOT>");
  EXPECT_EQ(TPatternLayout(L"%m").Format(Event(kInfo, L"a longer text")), L"a longer text");
}

TEST(PatternLayout, OtherConversionsStayAsWritten) {
  EXPECT_EQ(TPatternLayout(L"%x|%5q|%-z|50% done: %m").Format(Event(kInfo, L"ok")), L"%x|%5q|%-z|50% done: ok");
  EXPECT_EQ(TPatternLayout(L"%m 100%").Format(Event(kInfo, L"ok")), L"ok 100%");
  EXPECT_EQ(TPatternLayout(L"%m %5").Format(Event(kInfo, L"ok")), L"ok %5");
  EXPECT_EQ(TPatternLayout(L"%1000m").Format(Event(kInfo, L"ok")), L"%1000m");  // widths have three digits
}

TEST(PatternLayout, FailureFieldAndSimpleLayout) {
  const std::runtime_error failure("disk full");
  TLoggingEvent event = Event(kError, L"copy");
  EXPECT_EQ(TPatternLayout(L"%m[%e]").Format(event), L"copy[]");
  event.FException = &failure;
  EXPECT_EQ(TPatternLayout(L"%m[%e]").Format(event), L"copy[std::runtime_error: disk full]");
  EXPECT_EQ(TSimpleLayout().Format(Event(kWarn, L"disk almost full")), L"WARN - disk almost full");
}

TEST(DateFormat, TokensSeparatorAndMinutesAfterHour) {
  const LocalTime time = test::ExampleTime();
  EXPECT_EQ(FormatDateTime(L"yyyy-mm-dd hh:nn:ss:zzz", time), L"2024-03-05 09:07:02:045");
  EXPECT_EQ(FormatDateTime(L"hh.mm dd/mm", time), L"09.07 05/03");  // after hh, mm is minutes
  EXPECT_EQ(FormatDateTime(L"[yy] T", time), L"[yy] T");
  EXPECT_EQ(FormatDateTime(L"", time), L"2024-03-05 09:07:02");
  EXPECT_EQ(TPatternLayout(L"%d|%d{dd}").Format(Event(kInfo, L"")), L"2024-03-05 09:07:02|05");
}

}  // namespace
}  // namespace orvek::log
