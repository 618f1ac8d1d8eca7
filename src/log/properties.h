// The key=value text that configures the facility.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/platform.h"

namespace orvek::log {

class TProperties {
 public:
  using Entry = std::pair<std::wstring, std::wstring>;

  // Lines end in CR LF, LF or CR. Empty lines and lines whose first character
  // is "#" are skipped; nothing else is a comment. Key and value are split at
  // the first "=" and trimmed; a line without "=" gives an entry with an
  // empty key and value, which no lookup asks for.
  //   L"a = 1\r\n#b=2\n c=x=y \r d" => {("a","1"), ("c","x=y"), ("","")}
  //   L" #b=2" => {("#b","2")}
  static TProperties Parse(std::wstring_view text);

  // The first entry whose key matches without regard to case; empty when none.
  //   {("Key","1"), ("KEY","2")}: GetProperty(L"key") => L"1"
  std::wstring GetProperty(std::wstring_view key) const;
  const std::vector<Entry>& Entries() const { return FValues; }

 private:
  std::vector<Entry> FValues;
};

// Bytes of a configuration file as text: UTF-8 or UTF-16 (either byte order)
// when they begin with the matching byte-order mark, else the ANSI code page.
//   "\xEF\xBB\xBF" "a=1" => L"a=1";  "\xFF\xFE" "a\0" => L"a"
std::wstring DecodePropertyBytes(std::string_view bytes, Platform& platform);

// Each "${name}" replaced by that property's value (empty when missing); a
// "${" without a closing "}" leaves the whole value as it is. Replacements are
// not scanned again.
//   L"${dir}\\a.log" with dir=C:\t => L"C:\\t\\a.log";  L"${dir" => L"${dir"
std::wstring SubstituteVariables(std::wstring_view value, const TProperties& properties);

}  // namespace orvek::log
