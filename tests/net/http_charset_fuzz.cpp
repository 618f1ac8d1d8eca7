// An answer's Content-Type and body as the client decodes them: the first
// line is the header value, the rest the body.
#include <cstdint>
#include <string_view>

#include "base/unicode.h"
#include "net/http_charset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = std::min(input.find('\n'), input.size());
  const std::string_view body = input.substr(std::min(line_end + 1, input.size()));
  const std::string charset = orvek::net::CharsetOfContentType(orvek::base::WideFromUtf8(input.substr(0, line_end)));
  if (charset.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ;") != std::string::npos) __builtin_trap();
  orvek::net::CodePageOfCharset(charset);
  // Whatever the bytes, the text is well-formed and says the same once more.
  for (const std::wstring& text : {orvek::base::WideFromUtf8(body), orvek::base::WideFromUtf16(body, false),
                                   orvek::base::WideFromUtf16(body, true)}) {
    if (text.size() > body.size()) __builtin_trap();
    const std::string utf8 = orvek::base::Utf8FromWide(text);
    if (orvek::base::WideFromUtf8(utf8) != text || orvek::base::Utf8FromWide(orvek::base::WideFromUtf8(utf8)) != utf8)
      __builtin_trap();
  }
  return 0;
}
