#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "net/event_record.h"
#include "net/gzip_member.h"
#include "net/http_charset.h"
#include "net/proxy_rules.h"
#include "net/upload_token.h"
#include "net/version_check_rules.h"

namespace orvek::net {
namespace {

std::string Gunzip(const std::string& member) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 16 + MAX_WBITS), Z_OK);
  std::string out(1 << 20, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data()));
  stream.avail_in = static_cast<uInt>(member.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);  // also checks CRC and length
  EXPECT_EQ(stream.avail_in, 0u);
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

TEST(GzipMemberTest, FixedHeaderAndTrailerAroundRawDeflate) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "{\"安装\":" + std::to_string(i) + "}";
  const std::string member = GzipMember(text);
  EXPECT_EQ(member.substr(0, 10), std::string("\x1f\x8b\x08\0\0\0\0\0\0\0", 10));
  EXPECT_LT(member.size(), text.size() / 4);
  EXPECT_EQ(Gunzip(member), text);
  const std::size_t n = member.size();
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(member[i]); };
  EXPECT_EQ(byte(n - 4) | byte(n - 3) << 8 | byte(n - 2) << 16 | byte(n - 1) << 24, text.size());
  EXPECT_EQ(Gunzip(GzipMember("")), "");
  EXPECT_EQ(GzipMember("").size(), 20u);
}

std::vector<std::string> g_digested;
std::string FakeMd5(std::string_view bytes) {
  g_digested.emplace_back(bytes);
  return "<md5:" + std::string(bytes) + ">";
}

TEST(UploadTokenTest, DigestOfIdDigestKeyAndTimeSplitsTheTime) {
  g_digested.clear();
  EXPECT_EQ(BuildUploadToken("KEY", "0", 1733736000123, FakeMd5),
            "1733736000<md5:<md5:0>KEY1733736000123>123");
  EXPECT_EQ(g_digested, (std::vector<std::string>{"0", "<md5:0>KEY1733736000123"}));
  EXPECT_EQ(BuildUploadToken("K", "0", 999, FakeMd5), "999<md5:<md5:0>K999>");
  EXPECT_EQ(kSigningKey.size(), 28u);
}

TEST(VersionCheckRulesTest, NameLosesEveryVAndUrlIsNotEscaped) {
  EXPECT_EQ(VersionName(L"v6.15.1"), L"6.15.1");
  EXPECT_EQ(VersionName(L"V6.15.1-dev"), L"6.15.1-de");
  EXPECT_EQ(VersionCheckUrl(L"http://h:1", L"v6.1 b&c"),
            L"http://h:1/front/appversion/info?modelName=PC-ORVEK-TEACHER&versionName=6.1 b&c");
}

TEST(VersionCheckRulesTest, VerdictTable) {
  const auto verdict = [](const std::string& status) {
    return VersionVerdict(R"({"result":{"code":"0"},"data":{)" + status + "}}");
  };
  EXPECT_EQ(verdict(R"("status":0)"), 0);
  EXPECT_EQ(verdict(R"("status":"0")"), 0);
  EXPECT_EQ(verdict(R"("status":false)"), 0);
  EXPECT_EQ(verdict(R"("status":"abc")"), 0);
  EXPECT_EQ(verdict(R"("status":1)"), 1);
  EXPECT_EQ(verdict(R"("status":true)"), 1);
  EXPECT_EQ(verdict(R"("status":"17")"), 17);
  EXPECT_EQ(verdict(R"("status":2)"), 2);
  EXPECT_EQ(verdict(""), std::nullopt);
  EXPECT_EQ(verdict(R"("status":null)"), std::nullopt);
  EXPECT_EQ(verdict(R"("status":"")"), std::nullopt);
  EXPECT_EQ(verdict(R"("status":"null")"), std::nullopt);
  EXPECT_EQ(VersionVerdict(R"({"result":{"code":0},"data":{"status":0}})"), 0);
  EXPECT_EQ(VersionVerdict(R"({"result":{"code":"1"},"data":{"status":0}})"), std::nullopt);
  // A failed call need not carry "data" at all.
  EXPECT_EQ(VersionVerdict(R"({"result":{"code":"500"}})"), std::nullopt);
  EXPECT_EQ(VersionVerdict("<html>ok</html>"), std::nullopt);
  EXPECT_EQ(VersionVerdict("[1]"), std::nullopt);
  EXPECT_THROW(VersionVerdict(R"({"data":{"status":0}})"), VersionAnswerError);
  EXPECT_THROW(VersionVerdict(R"({"result":{"code":"0"}})"), VersionAnswerError);
}

TEST(EventRecordTest, EveryMemberWithItsType) {
  TPublicLogEvent event{L".def.app.install", L"应用安装", L"OTHER",
                        L"{\"dir\":\"C:\\\\x\"}", L"v6.15.1", L"ABC", L"dev", L"mon"};
  const Json record = BuildEventRecord(event, FormatEventTime({2024, 3, 5, 9, 7, 2, 45}));
  EXPECT_EQ(WriteJson(record),
            "{\"evTime\":\"2024-03-05 09:07:02.045\",\"source\":\"NATIVE\",\"page\":\".def.app.install\","
            "\"control\":\"应用安装\",\"event\":\"OTHER\",\"extData\":{\"dir\":\"C:\\\\x\"},\"uid\":0,"
            "\"username\":\"public\",\"organId\":0,\"appType\":\"teacher-pc\",\"appVersion\":\"v6.15.1\","
            "\"clientId\":\"ABC\",\"device\":\"dev\",\"monitors\":\"mon\"}");
  event.extData = L"{}";
  EXPECT_EQ(BuildEventRecord(event, L"t")["extData"], Json::object());
  event.extData = L"not json";
  EXPECT_TRUE(BuildEventRecord(event, L"t")["extData"].is_null());
  const Json document = BuildUploadDocument(Json::object(), "tok");
  EXPECT_EQ(WriteJson(document), "{\"logJson\":[{}],\"token\":\"tok\"}");
}

TEST(HttpCharsetTest, DeclaredCharsetOrUtf8) {
  EXPECT_EQ(CharsetOfContentType(L"text/html; Charset=\"GBK\""), "gbk");
  EXPECT_EQ(CharsetOfContentType(L"application/json;charset=utf-8; x=1"), "utf-8");
  EXPECT_EQ(CharsetOfContentType(L"application/json"), "");
  EXPECT_EQ(CodePageOfCharset("gbk"), 936u);
  EXPECT_EQ(CodePageOfCharset("iso-8859-1"), 28591u);
  EXPECT_EQ(CodePageOfCharset(""), kCodePageUtf8);
  EXPECT_EQ(CodePageOfCharset("x-unheard-of"), kCodePageUtf8);
}

// Lists as the settings dialog and configuration scripts write them.
TEST(ProxyRules, TheEntriesForTheSchemeOrForAllInTheirOrder) {
  using Hops = std::vector<std::wstring>;
  EXPECT_EQ(ProxyHops(L"proxy.lan:8080", L"http"), Hops{L"proxy.lan:8080"});
  EXPECT_EQ(ProxyHops(L"https=s.lan:443;http=h.lan:80", L"http"), Hops{L"h.lan:80"});
  EXPECT_EQ(ProxyHops(L"HTTP=http://h.lan:80/", L"http"), Hops{L"h.lan:80"});
  EXPECT_EQ(ProxyHops(L"ftp=f.lan:21;https=s.lan:443", L"http"), Hops{kDirectHop});
  EXPECT_EQ(ProxyHops(L" ;p1.lan:3128 p2.lan:3128", L"http"), (Hops{L"p1.lan:3128", L"p2.lan:3128"}));
  EXPECT_EQ(ProxyHops(L"a.lan:1;direct;a.lan:1", L"http"), (Hops{L"a.lan:1", kDirectHop}));
  EXPECT_EQ(ProxyHops(L"a:1;b:2;c:3;d:4", L"http"), (Hops{L"a:1", L"b:2", L"c:3"}));
}

}  // namespace
}  // namespace orvek::net
