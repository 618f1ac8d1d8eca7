#include "system/installations/aside_rules.h"

#include "base/text.h"
#include "system/files/removal_rules.h"

namespace orvek::system {

std::wstring AsideLocation(std::wstring_view location, int candidate) {
  while (!location.empty() && (location.back() == L'\\' || location.back() == L'/')) {
    location.remove_suffix(1);
  }
  if (location.empty() || IsRootLocation(location) || candidate < 1) return {};
  std::wstring aside(location);
  aside += L".orvek-previous";
  if (candidate > 1) aside += L"-" + std::to_wstring(candidate);
  return aside;
}

bool IsAsideOf(std::wstring_view location, std::wstring_view aside) {
  for (int n = 1; n <= kAsideCandidates; ++n) {
    const std::wstring candidate = AsideLocation(location, n);
    if (candidate.empty()) return false;
    if (base::SameText(candidate, aside)) return true;
  }
  return false;
}

}  // namespace orvek::system
