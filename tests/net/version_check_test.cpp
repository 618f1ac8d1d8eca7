// The version check against the stand-in version service.
#include "net/version_check.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/background_work.h"
#include "net/stand_in.h"
#include "support/log_tail.h"

namespace orvek::net {
namespace {

using test::CountLines;
using test::NowMs;
using test::StandInUrl;

struct Outcome {
  std::int32_t verdict;
  int error_lines;
};

Outcome Check(const std::wstring& base_url, const std::wstring& version = L"v6.15.1") {
  const test::LogTail tail;
  std::atomic<std::int32_t> verdict{-1};
  RunVersionCheck(base_url, version, verdict);
  return {verdict.load(), CountLines(tail.Appended(), "CheckVersion error, ")};
}

TEST(VersionCheckTest, SendsTheVersionNameWithoutAnyV) {
  Check(StandInUrl("status1", "name1"), L"v6.15.1");
  Check(StandInUrl("status1", "name2"), L"V6.15.1-dev");
  const auto first = test::RecordedRequests("name1");
  const auto second = test::RecordedRequests("name2");
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(first[0]["path"], "/verdict/status1/tag/name1/front/appversion/info");
  EXPECT_EQ(first[0]["query"], "modelName=PC-ORVEK-TEACHER&versionName=6.15.1");
  EXPECT_EQ(second[0]["query"], "modelName=PC-ORVEK-TEACHER&versionName=6.15.1-de");
}

TEST(VersionCheckTest, EachVerdictOfTheService) {
  const struct {
    const char* answer;
    std::int32_t verdict;
  } rows[] = {
      {"status0", 0},       {"code-number0", 0},  {"status-false", 0},  {"status-abc", 0},
      {"status1", 1},       {"status-true", 1},   {"status17", 17},     {"status-missing", -1},
      {"status-null", -1},  {"status-empty", -1}, {"status-nullstr", -1}, {"code1", -1},
      {"html", -1},
  };
  for (const auto& row : rows) {
    const Outcome outcome = Check(StandInUrl(row.answer, std::string("row-") + row.answer));
    EXPECT_EQ(outcome.verdict, row.verdict) << row.answer;
    // Answers without a verdict are not failures: nothing is logged.
    EXPECT_EQ(outcome.error_lines, 0) << row.answer;
  }
}

TEST(VersionCheckTest, FailuresLogOneLineAndChangeNothing) {
  for (const std::wstring& url : {StandInUrl("500", "f500"), StandInUrl("no-result", "fnoresult"),
                                  StandInUrl("no-data", "fnodata"), test::RefusingUrl(),
                                  StandInUrl("big", "fbig")}) {
    const Outcome outcome = Check(url);
    EXPECT_EQ(outcome.verdict, -1);
    EXPECT_EQ(outcome.error_lines, 1);
  }
}

TEST(VersionCheckTest, TimeOutsOfThreeAndFiveSeconds) {
  long long start = NowMs();
  EXPECT_EQ(Check(test::SilentUrl()).error_lines, 1);
  EXPECT_LT(NowMs() - start, 3000 + 1000);
  start = NowMs();
  EXPECT_EQ(Check(StandInUrl("hang", "vhang")).error_lines, 1);
  EXPECT_GE(NowMs() - start, 4900);
  EXPECT_LT(NowMs() - start, 5000 + 1000);
}

TEST(VersionCheckTest, RunsOnItsOwnThreadAndStoresOnce) {
  std::atomic<std::int32_t> verdict{-1};
  const long long start = NowMs();
  // As the installer starts it: background work the window never waits for.
  app::StartBackgroundWork(
      [url = StandInUrl("status0", "thread"), &verdict] { RunVersionCheck(url, L"v6.15.1", verdict); });
  EXPECT_LT(NowMs() - start, 500);
  while (verdict.load() == -1 && NowMs() - start < 5000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(verdict.load(), 0);
}

}  // namespace
}  // namespace orvek::net
