#include "net/proxy_route.h"

#include <exception>

#include "base/unique_handle.h"
#include "net/proxy_rules.h"
#include "net/winhttp_api.h"
#include "system/local_system.h"

namespace orvek::net {
namespace {

// Takes over a string WinHTTP allocated for the caller.
std::wstring TakeText(LPWSTR text) {
  const base::UniqueGlobalMemory owner(text);
  return text ? std::wstring(text) : std::wstring();
}

struct UserSettings {
  bool auto_detect = false;
  std::wstring script_url, proxy, bypass;
};

bool ReadUserSettings(UserSettings& settings) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttp().GetIEProxyConfigForCurrentUser(&config)) return false;
  settings.auto_detect = config.fAutoDetect != FALSE;
  settings.script_url = TakeText(config.lpszAutoConfigUrl);
  settings.proxy = TakeText(config.lpszProxy);
  settings.bypass = TakeText(config.lpszProxyBypass);
  return true;
}

ProxyRoute ProxyOrDirect(const std::wstring& list, const std::wstring& bypass, const std::wstring& scheme) {
  const std::wstring proxy = ProxyForScheme(list, scheme);
  if (proxy.empty()) return {ProxyRoute::Kind::kDirect, {}, {}};
  return {ProxyRoute::Kind::kProxy, proxy, bypass};
}

// What detection and the configuration script choose for `url`; false when
// they choose nothing (no script found, a script that fails).
bool ResolveAutomatically(HINTERNET resolver, const std::wstring& url, const UserSettings& settings,
                          const std::wstring& scheme, ProxyRoute& route) {
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (settings.auto_detect) {
    options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (!settings.script_url.empty()) {
    options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = settings.script_url.c_str();
  }
  // A script on an intranet server that asks who is there gets the user's
  // own credentials, as the browser gives them.
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info{};
  if (!WinHttp().GetProxyForUrl(resolver, url.c_str(), &options, &info)) return false;
  const std::wstring proxy = TakeText(info.lpszProxy);
  const std::wstring bypass = TakeText(info.lpszProxyBypass);
  route = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? ProxyOrDirect(proxy, bypass, scheme)
                                                               : ProxyRoute{ProxyRoute::Kind::kDirect, {}, {}};
  return true;
}

}  // namespace

ProxyRoute ChooseProxyRoute(HINTERNET resolver, const std::wstring& url) {
  if (system::RunsAsLocalSystem()) return {};
  UserSettings settings;
  if (!ReadUserSettings(settings)) return {};
  const std::size_t colon = url.find(L"://");
  const std::wstring scheme = colon == std::wstring::npos ? L"http" : url.substr(0, colon);
  if (settings.auto_detect || !settings.script_url.empty()) {
    ProxyRoute route;
    if (ResolveAutomatically(resolver, url, settings, scheme, route)) return route;
  }
  if (!settings.proxy.empty()) return ProxyOrDirect(settings.proxy, settings.bypass, scheme);
  return {};
}

}  // namespace orvek::net
