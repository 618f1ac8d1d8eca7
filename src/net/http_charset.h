// Which character set an HTTP answer is written in. Pure code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::net {

// The charset parameter of a Content-Type value in lower case, quotes
// removed: L"text/html; Charset=\"GBK\"" => "gbk"; L"application/json" => "".
std::string CharsetOfContentType(std::wstring_view content_type);

inline constexpr std::uint32_t kCodePageUtf8 = 65001;
inline constexpr std::uint32_t kCodePageUtf16Le = 1200;
inline constexpr std::uint32_t kCodePageUtf16Be = 1201;

// The Windows code page of a charset name (lower case): "gb2312" => 936,
// "iso-8859-1" => 28591, "utf-16" => 1200. UTF-8 (65001) for "" and for a
// name the table lacks: the services write UTF-8.
std::uint32_t CodePageOfCharset(std::string_view charset);

}  // namespace orvek::net
