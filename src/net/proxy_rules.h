// Proxy lists as the user's Internet Options and configuration scripts give
// them. Pure code.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvek::net {

// A hop of a route that goes to the server itself, where a list says DIRECT.
inline constexpr wchar_t kDirectHop[] = L"DIRECT";

// A request tries at most this many hops, each with its own connect time-out:
// a list of dead proxies must not hold a call for minutes.
inline constexpr std::size_t kMaxProxyHops = 3;

// The hops that `list` names for URLs of `scheme` (L"http"), in its order:
// "host:port", or kDirectHop where it says DIRECT. Entries are separated by
// ";" or blanks; "scheme=server" applies to that scheme only, a bare
// "server" to every scheme; a "scheme://" before the server is dropped.
// Repeats are dropped, and what is beyond kMaxProxyHops. When no entry
// applies, the one hop kDirectHop (such a URL goes direct, as in the browser).
//   (L"proxy.lan:8080", L"http")                 => {L"proxy.lan:8080"}
//   (L"https=s.lan:443;http=h.lan:80", L"http")  => {L"h.lan:80"}
//   (L"ftp=f.lan:21", L"http")                   => {kDirectHop}
//   (L"http://h.lan:80 p.lan:3128", L"http")     => {L"h.lan:80", L"p.lan:3128"}
//   (L"a.lan:1;DIRECT", L"http")                 => {L"a.lan:1", kDirectHop}
std::vector<std::wstring> ProxyHops(std::wstring_view list, std::wstring_view scheme);

}  // namespace orvek::net
