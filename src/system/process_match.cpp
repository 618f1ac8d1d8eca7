#include "system/process_match.h"

#include "base/text.h"

namespace orvek::system {

bool ImageNameMatches(std::wstring_view image, std::wstring_view wanted) {
  const size_t cut = image.find_last_of(L"\\:");
  const std::wstring_view file_name =
      cut == std::wstring_view::npos ? image : image.substr(cut + 1);
  return base::SameText(file_name, wanted) || base::SameText(image, wanted);
}

std::wstring TaskkillParameters(std::uint32_t pid) {
  return L" /f /pid " + std::to_wstring(pid);
}

}  // namespace orvek::system
