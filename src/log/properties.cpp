#include "log/properties.h"

#include <algorithm>

#include "base/text.h"
#include "base/unicode.h"

namespace orvek::log {

TProperties TProperties::Parse(std::wstring_view text) {
  TProperties properties;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring_view::npos) end = text.size();
    const std::wstring_view line = text.substr(start, end - start);
    start = end + (text.substr(end, 2) == L"\r\n" ? 2 : 1);
    if (line.empty() || line.front() == L'#') continue;
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) {
      properties.FValues.emplace_back();
    } else {
      properties.FValues.emplace_back(base::Trim(line.substr(0, equals)), base::Trim(line.substr(equals + 1)));
    }
  }
  return properties;
}

std::wstring TProperties::GetProperty(std::wstring_view key) const {
  for (const Entry& entry : FValues) {
    if (base::SameText(entry.first, key)) return entry.second;
  }
  return {};
}

std::wstring DecodePropertyBytes(std::string_view bytes, Platform& platform) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return base::WideFromUtf8(bytes.substr(3));
  if (bytes.substr(0, 2) == "\xFF\xFE") return base::WideFromUtf16(bytes.substr(2), false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return base::WideFromUtf16(bytes.substr(2), true);
  return platform.AnsiToWide(bytes);
}

std::wstring SubstituteVariables(std::wstring_view value, const TProperties& properties) {
  std::wstring out;
  std::size_t i = 0;
  while (i < value.size()) {
    const std::size_t open = value.find(L"${", i);
    if (open == std::wstring_view::npos) break;
    const std::size_t close = value.find(L'}', open + 2);
    if (close == std::wstring_view::npos) return std::wstring(value);
    out += value.substr(i, open - i);
    out += properties.GetProperty(value.substr(open + 2, close - open - 2));
    i = close + 1;
  }
  out += value.substr(std::min(i, value.size()));
  return out;
}

}  // namespace orvek::log
