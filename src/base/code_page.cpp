#include "base/code_page.h"

#include <windows.h>

namespace orvek::base {

std::wstring WideFromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
  return text;
}

std::string AnsiFromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
  }
  return bytes;
}

}  // namespace orvek::base
