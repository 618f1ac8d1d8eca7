#include "net/version_check.h"

#include "log/failure_boundary.h"
#include "base/unicode.h"
#include "net/http_client.h"
#include "net/version_check_rules.h"

namespace orvek::net {
namespace {

constexpr DWORD kConnectTimeoutMs = 3000;
constexpr DWORD kReadTimeoutMs = 5000;

constexpr std::wstring_view kFailureText = L"CheckVersion error";

}  // namespace

void RunVersionCheck(const std::wstring& base_url, const std::wstring& version,
                     std::atomic<std::int32_t>& verdict) noexcept {
  log::RunGuarded(kFailureText, [&] {
    const std::wstring body = THttpClient(kConnectTimeoutMs, kReadTimeoutMs).Get(VersionCheckUrl(base_url, version));
    if (const auto status = VersionVerdict(base::Utf8FromWide(body))) verdict.store(*status);
  });
}

}  // namespace orvek::net
