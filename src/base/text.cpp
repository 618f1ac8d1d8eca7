#include "base/text.h"

#include <limits>
#include <type_traits>

namespace orvek::base {
namespace {

template <typename Char>
bool IsBlank(Char c) {
  // Through the unsigned type, so that bytes above 0x7F of a narrow string
  // are text rather than negative "controls".
  return static_cast<std::make_unsigned_t<Char>>(c) <= 0x20;
}

template <typename Char>
std::basic_string_view<Char> TrimBlanks(std::basic_string_view<Char> text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

template <typename Char>
Char LowerLetter(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
std::basic_string<Char> LowerLetters(std::basic_string_view<Char> text) {
  std::basic_string<Char> out(text);
  for (Char& c : out) c = LowerLetter(c);
  return out;
}

}  // namespace

std::wstring_view Trim(std::wstring_view text) { return TrimBlanks(text); }
std::string_view Trim(std::string_view text) { return TrimBlanks(text); }

std::wstring AsciiLower(std::wstring_view text) { return LowerLetters(text); }
std::string AsciiLower(std::string_view text) { return LowerLetters(text); }

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerLetter(a[i]) != LowerLetter(b[i])) return false;
  }
  return true;
}

bool StartsWithText(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::optional<std::int32_t> ParseDecimalInt32(std::wstring_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == L'-' || text[0] == L'+')) {
    negative = text[0] == L'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + (c - L'0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace orvek::base
