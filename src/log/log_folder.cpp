#include "log/log_folder.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/text.h"

namespace orvek::log {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// "CON", "nul.txt", "COM1.log": Windows opens the device whatever the folder.
bool IsDeviceName(std::wstring_view name) {
  const std::wstring_view base = name.substr(0, name.find(L'.'));
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (base::SameText(base, device)) return true;
  }
  return base.size() == 4 && (base::SameText(base.substr(0, 3), L"COM") || base::SameText(base.substr(0, 3), L"LPT")) &&
         base[3] >= L'1' && base[3] <= L'9';
}

bool IsPlainName(std::wstring_view name) {
  for (const wchar_t c : name) {
    if (c < 0x20 || std::wstring_view(L":*?\"<>|").find(c) != std::wstring_view::npos) return false;
  }
  return name.back() != L'.' && name.back() != L' ' && !IsDeviceName(name);
}

// The root and the names below it, "." and ".." resolved; nothing for a
// path that is not plainly absolute.
std::optional<std::vector<std::wstring>> Components(std::wstring_view path) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
    parts.emplace_back(path.substr(0, 2));
    start = 3;
  } else if (!path.empty() && IsSeparator(path[0]) && (path.size() < 2 || !IsSeparator(path[1]))) {
    parts.emplace_back();
    start = 1;
  } else {
    return std::nullopt;
  }
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::wstring_view name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == L".") continue;
    if (name == L"..") {
      if (parts.size() <= 1) return std::nullopt;
      parts.pop_back();
      continue;
    }
    if (!IsPlainName(name)) return std::nullopt;
    parts.emplace_back(name);
  }
  return parts;
}

}  // namespace

std::wstring LogFolder(std::wstring_view temp_dir) { return std::wstring(temp_dir) + L"\\orvek"; }

bool IsFileDirectlyInFolder(std::wstring_view path, std::wstring_view folder) {
  const std::optional<std::vector<std::wstring>> file = Components(path);
  const std::optional<std::vector<std::wstring>> dir = Components(folder);
  if (!file || !dir || file->size() != dir->size() + 1) return false;
  return std::equal(dir->begin(), dir->end(), file->begin(),
                    [](const std::wstring& a, const std::wstring& b) { return base::SameText(a, b); });
}

}  // namespace orvek::log
