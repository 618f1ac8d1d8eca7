#include "log/pattern_layout.h"

#include <optional>

#include "log/date_format.h"

namespace orvek::log {
namespace {

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

struct FieldFormat {
  bool left_align = false;
  std::size_t min_width = 0;
  std::size_t max_length = std::wstring::npos;
};

// "" => {}, "-5" => {left, 5}, "5.10" => {5, max 10}; "x" and "1000" (more
// than three digits) => nullopt.
std::optional<FieldFormat> ParseFieldFormat(std::wstring_view text) {
  FieldFormat format;
  std::size_t i = 0;
  auto number = [&](std::size_t& value) {
    const std::size_t start = i;
    value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 3) value = value * 10 + (text[i++] - L'0');
    return i > start;
  };
  if (i < text.size() && text[i] == L'-') format.left_align = true, ++i;
  if (i < text.size() && IsDigit(text[i])) number(format.min_width);
  if (i < text.size() && text[i] == L'.') {
    ++i;
    if (!number(format.max_length)) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return format;
}

}  // namespace

TPatternLayout::TPatternLayout(std::wstring_view pattern) {
  std::size_t i = 0;
  while (i < pattern.size()) {
    const std::size_t percent = pattern.find(L'%', i);
    if (percent == std::wstring_view::npos) {
      AddText(pattern.substr(i));
      break;
    }
    AddText(pattern.substr(i, percent - i));
    std::size_t letter = percent + 1;
    while (letter < pattern.size() && !IsAsciiLetter(pattern[letter])) ++letter;
    if (letter == pattern.size()) {
      AddText(pattern.substr(percent));
      break;
    }
    const std::wstring_view written = pattern.substr(percent, letter + 1 - percent);
    const std::optional<FieldFormat> format = ParseFieldFormat(pattern.substr(percent + 1, letter - percent - 1));
    i = letter + 1;
    Field field;
    switch (format ? pattern[letter] : L'\0') {
      case L'd':
        field.kind = Kind::kDate;
        if (i < pattern.size() && pattern[i] == L'{') {
          const std::size_t close = pattern.find(L'}', i);
          if (close != std::wstring_view::npos) {
            field.text = pattern.substr(i + 1, close - i - 1);
            i = close + 1;
          }
        }
        break;
      case L'p': field.kind = Kind::kLevel; break;
      case L'm': field.kind = Kind::kMessage; break;
      case L'e': field.kind = Kind::kFailure; break;
      case L'L': field.kind = Kind::kLoggerName; break;
      case L'n': AddText(L"\r"); continue;  // CR only: the writer adds CR LF
      default: AddText(written); continue;  // no conversion of this layout
    }
    field.left_align = format->left_align;
    field.min_width = format->min_width;
    field.max_length = format->max_length;
    FFields.push_back(std::move(field));
  }
}

void TPatternLayout::AddText(std::wstring_view text) {
  if (text.empty()) return;
  if (!FFields.empty() && FFields.back().kind == Kind::kText) {
    FFields.back().text += text;
  } else {
    FFields.push_back(Field{Kind::kText, std::wstring(text)});
  }
}

std::wstring TPatternLayout::Format(const TLoggingEvent& event) const {
  std::wstring out;
  for (const Field& field : FFields) {
    std::wstring value;
    switch (field.kind) {
      case Kind::kText: out += field.text; continue;
      case Kind::kDate: value = FormatDateTime(field.text, event.FStartTime); break;
      case Kind::kLevel: value = event.FLevel->ToString(); break;
      case Kind::kMessage: value = event.FMsg; break;
      case Kind::kFailure: value = FailureText(event); break;
      case Kind::kLoggerName: value = event.FLoggerName; break;
    }
    if (value.size() > field.max_length) value.resize(field.max_length);
    const std::size_t pad = field.min_width > value.size() ? field.min_width - value.size() : 0;
    if (!field.left_align) out.append(pad, L' ');
    out += value;
    if (field.left_align) out.append(pad, L' ');
  }
  return out;
}

}  // namespace orvek::log
