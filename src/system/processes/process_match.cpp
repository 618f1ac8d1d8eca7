#include "system/processes/process_match.h"

#include "base/text.h"
#include "system/files/removal_rules.h"

namespace orvek::system {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// One separator each, backslashes, none at the end; the long-path prefix
// gone. Empty for a long path of another shape (a volume GUID path).
std::wstring Comparable(std::wstring_view path) {
  std::wstring ordinary;
  if (path.substr(0, 4) == L"\\\\?\\") {
    ordinary = OrdinaryFromFinalPath(path);
    if (ordinary.empty()) return {};
    path = ordinary;
  }
  std::wstring out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!IsSeparator(path[i])) {
      out += path[i];
    } else if (out.empty() || out.back() != L'\\' || i == 1) {
      out += L'\\';  // i == 1 keeps the second separator of \\server
    }
  }
  while (out.size() > 1 && out.back() == L'\\') out.pop_back();
  return out;
}

}  // namespace

bool ImageNameMatches(std::wstring_view image, std::wstring_view wanted) {
  const size_t cut = image.find_last_of(L"\\:");
  const std::wstring_view file_name =
      cut == std::wstring_view::npos ? image : image.substr(cut + 1);
  return base::SameText(file_name, wanted) || base::SameText(image, wanted);
}

bool ImageInFolder(std::wstring_view image, std::wstring_view folder) {
  const std::wstring dir = Comparable(folder);
  if (!IsAbsoluteLocation(dir) || IsRootLocation(dir)) return false;
  const std::wstring program = Comparable(image);
  return program.size() > dir.size() + 1 && program[dir.size()] == L'\\' &&
         base::SameText(std::wstring_view(program).substr(0, dir.size()), dir);
}

std::wstring TaskkillParameters(std::uint32_t pid) {
  return L" /f /pid " + std::to_wstring(pid);
}

}  // namespace orvek::system
