// The service calls through the proxies of a school network: the user's
// Internet Options (a fixed proxy with its bypass list, a configuration
// script) and the machine-wide setting, against the recording stand-in proxy.
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <string>

#include "base/unicode.h"
#include "net/http_client.h"
#include "net/stand_in.h"
#include "net/version_check.h"
#include "support/log_tail.h"
#include "support/proxy_settings.h"

namespace orvek::net {
namespace {

using test::StandInUrl;

// On another loopback address than the services (stand_in_services.py says why).
const std::string kProxy = "127.0.0.2:" + std::to_string(ORVEK_STAND_IN_PROXY_PORT);
constexpr const wchar_t* kConnections = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
using UserProxySettings = test::ScopedProxySettings;
using test::kFixedProxy;
using test::kNothingSet;
using test::kScript;

// Which of the requests with `tag` came through the stand-in proxy, as the
// absolute URLs it was asked for, and how many reached the services.
std::pair<std::vector<std::string>, int> Arrivals(const std::string& tag) {
  std::pair<std::vector<std::string>, int> arrivals;
  for (const Json& request : test::RecordedRequests(tag)) {
    if (request.value("via", "") == "proxy") {
      arrivals.first.push_back(request.value("url", ""));
    } else {
      ++arrivals.second;
    }
  }
  return arrivals;
}

int ThroughProxy(const std::string& tag) { return static_cast<int>(Arrivals(tag).first.size()); }

std::wstring Url(const std::string& tag) {
  return StandInUrl("status1", tag) + L"/front/appversion/info?modelName=PC-ORVEK-TEACHER&versionName=6.15.1";
}

std::wstring Get(const std::string& tag) { return THttpClient(3000, 5000).Get(Url(tag)); }

TEST(ProxyTest, RequestsFollowTheUsersFixedProxyItsBypassListAndAConfigurationScript) {
  {
    const UserProxySettings fixed(kFixedProxy, kProxy, "<local>;*.school.lan", "");
    EXPECT_NE(Get("fixed").find(L"\"status\": 1"), std::wstring::npos);
    EXPECT_EQ(Arrivals("fixed").first, std::vector<std::string>{base::Utf8FromWide(Url("fixed"))});
    EXPECT_EQ(Arrivals("fixed").second, 1);  // passed on by the proxy
  }
  {
    const UserProxySettings bypassed(kFixedProxy, kProxy, "*.school.lan;127.0.0.1", "");
    Get("bypassed");
    EXPECT_EQ(Arrivals("bypassed"), std::make_pair(std::vector<std::string>{}, 1));
  }
  // The stand-in's script sends URLs with /tag/pac-direct direct, others
  // through the proxy.
  const UserProxySettings script(kScript, "", "", "http://" + kProxy + "/proxy.pac");
  Get("pac-proxied");
  Get("pac-direct");
  EXPECT_EQ(ThroughProxy("pac-proxied"), 1);
  EXPECT_EQ(Arrivals("pac-direct"), std::make_pair(std::vector<std::string>{}, 1));
}

TEST(ProxyTest, AFailingProxyIsOneLineAndTheMachineSettingServesLocalSystemAndUnsetOptions) {
  std::wstring dead = test::RefusingUrl();
  dead = dead.substr(dead.find(L"//") + 2);  // host:port that nobody listens on
  std::wstring machine = base::WideFromUtf8(kProxy);
  WINHTTP_PROXY_INFO info{WINHTTP_ACCESS_TYPE_NAMED_PROXY, machine.data(), nullptr};
  ASSERT_TRUE(::WinHttpSetDefaultProxyConfiguration(&info));  // as "netsh winhttp set proxy" does
  {
    const UserProxySettings dead_proxy(kFixedProxy, base::Utf8FromWide(dead), "", "");
    const test::LogTail tail;
    std::atomic<std::int32_t> verdict{-1};
    RunVersionCheck(StandInUrl("status0", "dead-proxy"), L"v6.15.1", verdict);
    EXPECT_EQ(verdict.load(), -1);
    const std::string log = tail.Appended();
    EXPECT_EQ(test::CountLines(log, "CheckVersion error, "), 1) << log;
    EXPECT_NE(log.find(", through proxy " + base::Utf8FromWide(dead)), std::string::npos) << log;

    // The user's options are not the system account's: only the machine's count.
    ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", L"1");
    RunVersionCheck(StandInUrl("status0", "system"), L"v6.15.1", verdict);
    ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", nullptr);
    EXPECT_EQ(verdict.load(), 0);
    EXPECT_EQ(ThroughProxy("system"), 1);
  }
  {
    const UserProxySettings nothing(kNothingSet, "", "", "");
    Get("machine");
    EXPECT_EQ(ThroughProxy("machine"), 1);
  }
  ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kConnections, L"WinHttpSettings");
}

}  // namespace
}  // namespace orvek::net
