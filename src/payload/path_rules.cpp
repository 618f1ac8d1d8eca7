#include "payload/path_rules.h"

namespace orvek::payload {
namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

bool IsSafeComponent(std::wstring_view part) noexcept {
  if (part.empty() || part == L"." || part == L"..") return false;
  const wchar_t last = part.back();
  return last != L'.' && last != L' ';
}

}  // namespace

bool IsSafeItemPath(std::wstring_view item_path) noexcept {
  if (item_path.empty() || IsSeparator(item_path.front())) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= item_path.size(); ++i) {
    if (i < item_path.size()) {
      const wchar_t c = item_path[i];
      if (c == L':' || c == L'\0') return false;
      if (!IsSeparator(c)) continue;
    }
    if (!IsSafeComponent(item_path.substr(start, i - start))) return false;
    start = i + 1;
  }
  return true;
}

}  // namespace orvek::payload
