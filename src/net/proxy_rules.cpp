#include "net/proxy_rules.h"

#include <algorithm>

#include "base/text.h"

namespace orvek::net {

std::vector<std::wstring> ProxyHops(std::wstring_view list, std::wstring_view scheme) {
  std::vector<std::wstring> hops;
  std::size_t next = 0;
  while (next < list.size() && hops.size() < kMaxProxyHops) {
    const std::size_t end = list.find_first_of(L"; \t", next);
    std::wstring_view entry = list.substr(next, end == std::wstring_view::npos ? end : end - next);
    next = end == std::wstring_view::npos ? list.size() : end + 1;
    if (base::SameText(entry, kDirectHop)) entry = kDirectHop;
    if (const std::size_t equals = entry.find(L'='); equals != std::wstring_view::npos) {
      if (!base::SameText(entry.substr(0, equals), scheme)) continue;
      entry.remove_prefix(equals + 1);
    }
    if (const std::size_t separator = entry.find(L"://"); separator != std::wstring_view::npos) {
      entry.remove_prefix(separator + 3);
    }
    while (!entry.empty() && entry.back() == L'/') entry.remove_suffix(1);
    if (!entry.empty() && std::find(hops.begin(), hops.end(), entry) == hops.end()) hops.emplace_back(entry);
  }
  if (hops.empty()) hops.emplace_back(kDirectHop);
  return hops;
}

}  // namespace orvek::net
