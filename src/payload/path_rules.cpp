#include "payload/path_rules.h"

namespace orvek::payload {
namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

// The library maps a character Windows forbids to U+F000 + its code.
constexpr wchar_t kFirstStandIn = 0xF000;
constexpr wchar_t kLastStandIn = 0xF0FF;

bool IsStandIn(wchar_t c) noexcept { return c >= kFirstStandIn && c <= kLastStandIn; }

bool IsForbiddenInNames(wchar_t c) noexcept {
  return c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|' ||
         IsStandIn(c);
}

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
      if (IsForbiddenInNames(c)) return false;
      if (!IsSeparator(c)) continue;
    }
    if (!IsSafeComponent(item_path.substr(start, i - start))) return false;
    start = i + 1;
  }
  return true;
}

std::wstring ReadableItemPath(std::wstring_view item_path) {
  std::wstring text;
  text.reserve(item_path.size());
  for (wchar_t c : item_path) {
    if (IsStandIn(c)) c = static_cast<wchar_t>(c - kFirstStandIn);
    text += c < 0x20 || c == 0x7F ? L'?' : c;
  }
  return text;
}

}  // namespace orvek::payload
