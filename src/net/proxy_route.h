// Which way a service call takes to its server. School networks often reach
// the internet only through a proxy set in the user's Internet Options,
// sometimes by automatic detection or a configuration script; WinHTTP by
// itself knows only the machine-wide setting ("netsh winhttp"), which is
// seldom set. So each request follows what the user's settings choose for
// its URL, and the machine-wide setting where they choose nothing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace orvek::net {

struct ProxyRoute {
  enum class Kind {
    kMachine,  // the machine-wide WinHTTP setting
    kHops,     // `hops`, tried in order
  };
  Kind kind = Kind::kMachine;
  // "host:port" or kDirectHop (proxy_rules.h), at most kMaxProxyHops.
  std::vector<std::wstring> hops;
  std::wstring bypass;  // as the settings give it: L"<local>;*.school.lan"
  // Found by automatic detection: whoever answers the discovery on the
  // network named these proxies, so they get no credentials of the user.
  bool discovered = false;
};

// The route for `url`, by the first rule that applies:
//  1. under the LocalSystem account, the machine-wide setting: the system's
//     own Internet Options are nobody's choice;
//  2. automatic detection is on: what the script it finds gives for this
//     URL (`discovered`); else, a configuration script URL is set: what that
//     script gives. A script that cannot be found or run leads to the next
//     rules;
//  3. a fixed proxy is set: it, with its bypass list (direct when it names
//     no proxy for the URL's scheme);
//  4. the machine-wide setting (also when the settings cannot be read).
// Detection and scripts run on a thread of their own (WinHttpGetProxyForUrl
// has no time-out of its own on Windows 7); they must be done within
// `connect_ms`, else this throws HttpError as a call that cannot connect
// does. Never throws for other reasons.
ProxyRoute ChooseProxyRoute(const std::wstring& url, DWORD connect_ms, DWORD read_ms);

}  // namespace orvek::net
