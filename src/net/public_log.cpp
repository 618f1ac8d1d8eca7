#include "net/public_log.h"

#include <cstdint>

#include "log/failure_boundary.h"
#include "log/os.h"
#include "base/unicode.h"
#include "net/gzip_member.h"
#include "net/http_client.h"
#include "net/md5_cng.h"
#include "net/upload_token.h"

namespace orvek::net {
namespace {

constexpr DWORD kConnectTimeoutMs = 3000;
constexpr DWORD kReadTimeoutMs = 5000;

constexpr std::wstring_view kFailureText = L"PostData error";

// Milliseconds since 1970-01-01 UTC, rounded to the nearest one. The system
// clock is UTC already, so no time-zone rule is involved.
std::uint64_t UnixMillisecondsNow() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  constexpr std::uint64_t kEpochTicks = 116444736000000000;  // 1970-01-01 in 100 ns since 1601
  return (ticks - kEpochTicks + 5000) / 10000;
}

}  // namespace

std::string BuildUploadToken(std::string_view key, std::string_view id) {
  return BuildUploadToken(key, id, UnixMillisecondsNow(), Md5Hex);
}

std::wstring PostData(const std::wstring& url, const Json& document, DWORD connect_ms, DWORD read_ms) noexcept {
  std::wstring answer;
  log::RunGuarded(kFailureText, [&] {
    const std::string body = GzipMember(WriteJson(document));
    answer = THttpClient(connect_ms, read_ms).Post(url, body);
  });
  return answer;
}

void ReportEvent(const std::wstring& base_url, const TPublicLogEvent& event) noexcept {
  // A failure here comes from building the record or the token, before anything was sent.
  log::RunGuarded(kFailureText, [&] {
    Json record = BuildEventRecord(event, FormatEventTime(log::LocalNow()));
    const std::string token = BuildUploadToken(kSigningKey, kPublicUserId) + std::string(kPublicUserId);
    PostData(base_url + L"/front/uploadfile", BuildUploadDocument(std::move(record), token), kConnectTimeoutMs,
             kReadTimeoutMs);
  });
}

}  // namespace orvek::net
