// Proxy lists as the user's Internet Options and configuration scripts give
// them. Pure code.
#pragma once

#include <string>
#include <string_view>

namespace orvek::net {

// The proxy that `list` names for URLs of `scheme` (L"http"), as
// "host:port": entries are separated by ";" or blanks; "scheme=server"
// applies to that scheme only, a bare "server" to every scheme; a
// "scheme://" before the server is dropped. The first entry that applies
// wins; empty when none does (such a URL goes direct, as in the browser).
//   (L"proxy.lan:8080", L"http")                 => L"proxy.lan:8080"
//   (L"https=s.lan:443;http=h.lan:80", L"http")  => L"h.lan:80"
//   (L"ftp=f.lan:21", L"http")                   => L""
//   (L"http://h.lan:80 p.lan:3128", L"http")     => L"h.lan:80"
std::wstring ProxyForScheme(std::wstring_view list, std::wstring_view scheme);

}  // namespace orvek::net
