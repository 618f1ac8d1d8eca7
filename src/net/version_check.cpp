#include "net/version_check.h"

#include <exception>
#include <thread>

#include "log/logs.h"
#include "base/unicode.h"
#include "net/http_client.h"
#include "net/version_check_rules.h"

namespace orvek::net {
namespace {

constexpr DWORD kConnectTimeoutMs = 3000;
constexpr DWORD kReadTimeoutMs = 5000;

void LogFailure(const char* message) noexcept {
  try {
    log::LogError(L"CheckVersion error, " + base::WideFromUtf8(message));
  } catch (...) {
    // Out of memory for the line: lost, as the log loses any record then.
  }
}

}  // namespace

void RunVersionCheck(const std::wstring& base_url, const std::wstring& version,
                     std::atomic<std::int32_t>& verdict) noexcept {
  try {
    const std::wstring body = THttpClient(kConnectTimeoutMs, kReadTimeoutMs).Get(VersionCheckUrl(base_url, version));
    if (const auto status = VersionVerdict(base::Utf8FromWide(body))) verdict.store(*status);
  } catch (const std::exception& e) {
    LogFailure(e.what());
  } catch (...) {
    LogFailure("unknown failure");
  }
}

void CheckVersion(std::wstring base_url, std::wstring version, std::atomic<std::int32_t>& verdict) noexcept {
  try {
    std::thread(
        [base_url = std::move(base_url), version = std::move(version), &verdict] {
          RunVersionCheck(base_url, version, verdict);
        })
        .detach();
  } catch (const std::exception& e) {
    LogFailure(e.what());
  }
}

}  // namespace orvek::net
