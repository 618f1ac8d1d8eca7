#include "system/process_match.h"

namespace orvek::system {

std::wstring UpperAscii(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return out;
}

bool ImageNameMatches(std::wstring_view image, std::wstring_view wanted) {
  const std::wstring key = UpperAscii(wanted);
  const size_t cut = image.find_last_of(L"\\:");
  const std::wstring_view file_name =
      cut == std::wstring_view::npos ? image : image.substr(cut + 1);
  return UpperAscii(file_name) == key || UpperAscii(image) == key;
}

std::wstring TaskkillParameters(std::uint32_t pid) {
  return L" /f /pid " + std::to_wstring(pid);
}

}  // namespace orvek::system
