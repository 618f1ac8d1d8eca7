// Which way a service call takes to its server. School networks often reach
// the internet only through a proxy set in the user's Internet Options,
// sometimes by automatic detection or a configuration script; WinHTTP by
// itself knows only the machine-wide setting ("netsh winhttp"), which is
// seldom set. So each request follows what the user's settings choose for
// its URL, and the machine-wide setting where they choose nothing.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>

namespace orvek::net {

struct ProxyRoute {
  enum class Kind {
    kMachine,  // the machine-wide WinHTTP setting
    kDirect,   // no proxy
    kProxy,    // `proxy`, except for hosts on the `bypass` list
  };
  Kind kind = Kind::kMachine;
  std::wstring proxy;   // "host:port"
  std::wstring bypass;  // as the settings give it: L"<local>;*.school.lan"
};

// The route for `url`, by the first rule that applies:
//  1. under the LocalSystem account, the machine-wide setting: the system's
//     own Internet Options are nobody's choice;
//  2. automatic detection or a configuration script URL is set: what
//     WinHttpGetProxyForUrl resolves for this URL through `resolver` (a
//     session whose time-outs bound the script's download), a proxy or
//     direct; when it resolves nothing, the next rules;
//  3. a fixed proxy is set: it, with its bypass list (direct when it names
//     no proxy for the URL's scheme);
//  4. the machine-wide setting (also when the settings cannot be read).
// Never throws for WinHTTP's reasons.
ProxyRoute ChooseProxyRoute(HINTERNET resolver, const std::wstring& url);

}  // namespace orvek::net
