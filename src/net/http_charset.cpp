#include "net/http_charset.h"

#include <utility>

#include "base/text.h"
#include "base/unicode.h"

namespace orvek::net {

std::string CharsetOfContentType(std::wstring_view content_type) {
  const std::string lower = base::AsciiLower(base::Utf8FromWide(content_type));
  std::size_t at = 0;
  while ((at = lower.find(';', at)) != std::string::npos) {
    ++at;
    while (at < lower.size() && (lower[at] == ' ' || lower[at] == '\t')) ++at;
    if (lower.compare(at, 8, "charset=") != 0) continue;
    std::string value = lower.substr(at + 8);
    value = value.substr(0, value.find(';'));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return {};
}

std::uint32_t CodePageOfCharset(std::string_view charset) {
  static constexpr std::pair<std::string_view, std::uint32_t> kCodePages[] = {
      {"utf-8", kCodePageUtf8},      {"utf8", kCodePageUtf8},
      {"utf-16", kCodePageUtf16Le},  {"utf-16le", kCodePageUtf16Le},
      {"utf-16be", kCodePageUtf16Be}, {"gbk", 936},
      {"gb2312", 936},               {"gb18030", 54936},
      {"big5", 950},                 {"us-ascii", 20127},
      {"iso-8859-1", 28591},         {"latin1", 28591},
      {"windows-1252", 1252},        {"shift_jis", 932},
      {"euc-kr", 949},
  };
  for (const auto& [name, code_page] : kCodePages) {
    if (name == charset) return code_page;
  }
  return kCodePageUtf8;
}

}  // namespace orvek::net
