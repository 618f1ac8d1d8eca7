// The HTTP client against the stand-in services on loopback.
#include "net/http_client.h"

#include <gtest/gtest.h>


#include "net/allocation_probe.h"
#include "net/md5_cng.h"
#include "net/stand_in.h"

namespace orvek::net {
namespace {

using test::RecordedHeader;
using test::RecordedRequests;
using test::StandInUrl;

const wchar_t* const kInfoPath = L"/front/appversion/info?modelName=PC-ORVEK-TEACHER&versionName=6.15.1";

std::string FailureOf(const std::wstring& url) {
  try {
    THttpClient(3000, 5000).Get(url);
  } catch (const HttpError& e) {
    return e.what();
  }
  return "no failure";
}

TEST(HttpClientTest, GetSendsTheUrlAsGivenWithWinHttpDefaultsOnly) {
  const std::wstring body = THttpClient(3000, 5000).Get(StandInUrl("status1", "get") + kInfoPath);
  EXPECT_EQ(body, LR"({"result": {"code": "0", "message": "ok"}, "data": {"status": 1}})");
  const auto requests = RecordedRequests("get");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["method"], "GET");
  EXPECT_EQ(requests[0]["version"], "HTTP/1.1");
  EXPECT_EQ(requests[0]["query"], "modelName=PC-ORVEK-TEACHER&versionName=6.15.1");
  EXPECT_EQ(RecordedHeader(requests[0], "User-Agent"), nullptr);
  EXPECT_EQ(RecordedHeader(requests[0], "Accept"), nullptr);
  EXPECT_EQ(RecordedHeader(requests[0], "Content-Type"), nullptr);
}

TEST(HttpClientTest, PostIsHttp10WithContentLengthOnly) {
  const std::string bytes("\x1f\x8b\0binary\xff", 10);
  THttpClient(3000, 5000).Post(StandInUrl("ok", "post") + L"/front/uploadfile", bytes);
  const auto requests = RecordedRequests("post");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["method"], "POST");
  EXPECT_EQ(requests[0]["version"], "HTTP/1.0");
  EXPECT_EQ(requests[0]["body_base64"], "H4sAYmluYXJ5/w==");
  ASSERT_NE(RecordedHeader(requests[0], "Content-Length"), nullptr);
  EXPECT_EQ(*RecordedHeader(requests[0], "Content-Length"), "10");
  EXPECT_EQ(RecordedHeader(requests[0], "Content-Type"), nullptr);
  EXPECT_EQ(RecordedHeader(requests[0], "Content-Encoding"), nullptr);
  EXPECT_EQ(RecordedHeader(requests[0], "User-Agent"), nullptr);
}

TEST(HttpClientTest, AnswersOtherThanSuccess) {
  EXPECT_EQ(FailureOf(StandInUrl("500", "e500") + kInfoPath), "HTTP/1.1 500 Internal Server Error");
  EXPECT_NE(FailureOf(test::RefusingUrl() + kInfoPath).find("WinHttpSendRequest failed"), std::string::npos);
  // A redirect is not followed: its own (empty) body is the answer.
  EXPECT_EQ(THttpClient(3000, 5000).Get(StandInUrl("redirect", "redirect") + kInfoPath), L"");
  EXPECT_EQ(RecordedRequests("redirect").size(), 1u);
  // The declared charset decodes the body.
  EXPECT_EQ(THttpClient(3000, 5000).Get(StandInUrl("gbk", "gbk") + kInfoPath),
            LR"({"result":{"code":"0","message":"版本有效"},"data":{"status":2}})");
}

TEST(HttpClientTest, LongAnswersAreRefusedWithoutGrowingMemory) {
  EXPECT_EQ(FailureOf(StandInUrl("big", "big") + kInfoPath), "the answer is longer than 1 MiB");
  EXPECT_EQ(FailureOf(StandInUrl("big-unsized", "big") + kInfoPath), "the answer is longer than 1 MiB");
  test::g_largest_allocation = 0;
  EXPECT_EQ(FailureOf(StandInUrl("huge-unsized", "huge") + kInfoPath), "the answer is longer than 1 MiB");
  EXPECT_LE(test::g_largest_allocation.load(), kMaxAnswerBytes + 64 * 1024);
}

TEST(Md5CngTest, KnownDigests) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("0"), "cfcd208495d565ef66e7dff9f98764da");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
}

}  // namespace
}  // namespace orvek::net

