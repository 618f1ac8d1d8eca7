// Event reports against the stand-in event service.
#include "net/public_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "app/background_work.h"
#include "net/stand_in.h"
#include "support/child_process.h"
#include "support/log_tail.h"

namespace orvek::net {
namespace {

using test::CountLines;
using test::NowMs;
using test::RecordedHeader;
using test::RecordedRequests;
using test::StandInUrl;

// As the installer sends a report: background work nobody waits for.
void StartReport(const std::wstring& url, TPublicLogEvent event) {
  app::StartBackgroundWork([url, event = std::move(event)] { ReportEvent(url, event); });
}

TPublicLogEvent InstallEvent(std::wstring ext_data) {
  return {L".def.app.install", L"应用安装", L"OTHER", std::move(ext_data),
          L"v6.15.1", L"0123456789ABCDEF0123456789ABCDEF01234567", L"board/bios \"x\"", L"DEL1234;\n"};
}

// Waits until `text` is in the log since `tail`, up to `limit_ms`.
bool WaitForLine(const test::LogTail& tail, const std::string& text, long long limit_ms) {
  const long long start = NowMs();
  while (NowMs() - start < limit_ms) {
    if (CountLines(tail.Appended(), text) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(PublicLogTest, UploadIsOneGzipMemberOfTheDocument) {
  const test::LogTail tail;
  ReportEvent(StandInUrl("ok", "report"), InstallEvent(L"{\"dir\":\"C:\\\\Program Files\\\\Orvek\\\\\",\"free\":12}"));
  EXPECT_EQ(CountLines(tail.Appended(), "PostData error, "), 0);
  const auto requests = RecordedRequests("report");
  ASSERT_EQ(requests.size(), 1u);
  const Json& request = requests[0];
  EXPECT_EQ(request["path"], "/verdict/ok/tag/report/front/uploadfile");
  EXPECT_EQ(request["version"], "HTTP/1.0");
  EXPECT_EQ(RecordedHeader(request, "Content-Type"), nullptr);
  EXPECT_EQ(RecordedHeader(request, "Content-Encoding"), nullptr);
  const std::string body_base64 = request["body_base64"];
  // Base64 of 31 139 8 0 0 0 0 0 0 0 begins "H4sIAAAAAAAA".
  EXPECT_EQ(body_base64.substr(0, 12), "H4sIAAAAAAAA");
  ASSERT_NE(RecordedHeader(request, "Content-Length"), nullptr);
  const std::size_t padding = body_base64.size() - body_base64.find_last_not_of('=') - 1;
  EXPECT_EQ(*RecordedHeader(request, "Content-Length"), std::to_string(body_base64.size() / 4 * 3 - padding));

  ASSERT_TRUE(request["body_text"].is_string()) << request.value("body_error", "");
  const std::optional<Json> document = ParseJson(request["body_text"].get<std::string>());
  ASSERT_TRUE(document && document->is_object());
  EXPECT_EQ(document->size(), 2u);
  ASSERT_TRUE((*document)["logJson"].is_array());
  ASSERT_EQ((*document)["logJson"].size(), 1u);
  const Json& record = (*document)["logJson"][0];
  EXPECT_EQ(record.size(), 14u);
  EXPECT_TRUE(std::regex_match(record["evTime"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})")));
  EXPECT_EQ(record["source"], "NATIVE");
  EXPECT_EQ(record["page"], ".def.app.install");
  EXPECT_EQ(record["control"], "应用安装");
  EXPECT_EQ(record["event"], "OTHER");
  EXPECT_EQ(record["extData"], Json::parse(R"({"dir":"C:\\Program Files\\Orvek\\","free":12})"));
  EXPECT_TRUE(record["uid"].is_number_integer());
  EXPECT_EQ(record["uid"], 0);
  EXPECT_EQ(record["username"], "public");
  EXPECT_TRUE(record["organId"].is_number_integer());
  EXPECT_EQ(record["organId"], 0);
  EXPECT_EQ(record["appType"], "teacher-pc");
  EXPECT_EQ(record["appVersion"], "v6.15.1");
  EXPECT_EQ(record["clientId"], "0123456789ABCDEF0123456789ABCDEF01234567");
  EXPECT_EQ(record["device"], "board/bios \"x\"");
  EXPECT_EQ(record["monitors"], "DEL1234;\n");
  // The slash goes escaped, as the service expects.
  EXPECT_NE(request["body_text"].get<std::string>().find(R"("board\/bios \"x\"")"), std::string::npos);

  const std::string token = (*document)["token"];
  EXPECT_TRUE(std::regex_match(token, std::regex("[0-9]{10}[0-9a-f]{32}[0-9]{3}0"))) << token;
  // The service recomputed the digest from the token's own time stamp.
  EXPECT_EQ(request["token_valid"], true);
}

TEST(PublicLogTest, ExtDataOfAnyShape) {
  ReportEvent(StandInUrl("ok", "ext-empty"), InstallEvent(L"{}"));
  ReportEvent(StandInUrl("ok", "ext-text"), InstallEvent(L"install ok"));
  const auto empty = RecordedRequests("ext-empty");
  const auto text = RecordedRequests("ext-text");
  ASSERT_EQ(empty.size(), 1u);
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(Json::parse(empty[0]["body_text"].get<std::string>())["logJson"][0]["extData"], Json::object());
  EXPECT_TRUE(Json::parse(text[0]["body_text"].get<std::string>())["logJson"][0]["extData"].is_null());
}

TEST(PublicLogTest, ReturnsAtOnceAndLogsAFailedUploadOnce) {
  for (const std::wstring& url : {test::SilentUrl(), StandInUrl("500", "p500"), test::RefusingUrl()}) {
    const test::LogTail tail;
    const long long start = NowMs();
    StartReport(url, InstallEvent(L"{}"));
    EXPECT_LT(NowMs() - start, 200);
    EXPECT_TRUE(WaitForLine(tail, "PostData error, ", 3000 + 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(CountLines(tail.Appended(), "PostData error, "), 1);
  }
  const test::LogTail tail;
  StartReport(StandInUrl("ok", "p200"), InstallEvent(L"{}"));
  const long long start = NowMs();
  while (RecordedRequests("p200").empty() && NowMs() - start < 3000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(RecordedRequests("p200").size(), 1u);
  EXPECT_EQ(CountLines(tail.Appended(), "PostData error, "), 0);
}

TEST(PublicLogTest, ProgramEndsWhileRequestsAreInFlight) {
  // The probe starts a version check and a report whose answers never end,
  // then returns from main.
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring probe(self);
  probe = probe.substr(0, probe.find_last_of(L'\\') + 1) + L"net_exit_probe.exe";
  test::ChildProcess child = test::ChildProcess::Start(probe, {StandInUrl("trickle", "exit")});
  EXPECT_EQ(child.WaitForExit(10000), 0u);
  EXPECT_EQ(RecordedRequests("exit").size(), 2u);
}

}  // namespace
}  // namespace orvek::net
