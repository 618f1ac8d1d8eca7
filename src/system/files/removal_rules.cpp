#include "system/files/removal_rules.h"

#include <algorithm>
#include <iterator>

#include "base/text.h"

namespace orvek::system {
namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) noexcept {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

std::wstring_view TrimFinalSeparators(std::wstring_view path) noexcept {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  return path;
}

// Length of L"\\\\srv\\share" at the start of a network path, or of as much
// of it as there is; 0 when `path` does not begin with two separators.
std::size_t ShareLength(std::wstring_view path) noexcept {
  if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
  std::size_t i = 2;
  while (i < path.size() && !IsSeparator(path[i])) ++i;  // server
  if (i == path.size()) return i;
  ++i;
  while (i < path.size() && !IsSeparator(path[i])) ++i;  // share
  return i;
}

}  // namespace

std::wstring DirectoryPart(std::wstring_view value) {
  const std::size_t last = value.find_last_of(L"\\:");
  return last == std::wstring_view::npos ? std::wstring() : std::wstring(value.substr(0, last + 1));
}

std::wstring CutAtDriveLetter(std::wstring_view location) {
  const std::size_t colon = location.find(L':');  // 0-based: position p is colon + 1
  if (colon == std::wstring_view::npos || colon < 2) return std::wstring(location);
  return std::wstring(location.substr(colon - 1));
}

bool IsDirectoryEntry(std::uint32_t attributes, std::wstring_view name) noexcept {
  if (name == L"." || name == L"..") return false;
  if (attributes >= 0x10 && attributes <= 0x1F) return true;
  static constexpr std::uint32_t kAccepted[] = {
      0x30,   0x31,   0x32,            // + archive
      0x810,  0x812,  0x830,  0x832,   // + compressed
      0x2010, 0x2012, 0x2030, 0x2032,  // + not content-indexed
      0x2810, 0x2812, 0x2830, 0x2832,  // + both
      0x4010, 0x4012, 0x4030, 0x4032,  // + encrypted
      0x6030, 0x6032,                  // + encrypted, not indexed
      0x12F7A8,                        // an odd word, accepted as it stands
  };
  return std::find(std::begin(kAccepted), std::end(kAccepted), attributes) != std::end(kAccepted);
}

std::wstring DrivePart(std::wstring_view path) {
  if (path.size() >= 2 && path[1] == L':') return std::wstring(path.substr(0, 2));
  const std::size_t share = ShareLength(path);
  if (share == 0) return {};
  const std::wstring_view head = path.substr(0, share);
  // Both a server and a share name are needed: L"\\\\srv" alone is no drive.
  const std::size_t server_end = head.find_first_of(L"\\/", 2);
  if (server_end == std::wstring_view::npos || server_end == 2 || server_end + 1 >= head.size()) {
    return {};
  }
  return std::wstring(head);
}

std::wstring OrdinaryFromFinalPath(std::wstring_view final_path) {
  constexpr std::wstring_view kLocal = L"\\\\?\\";
  constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
  if (final_path.size() > kUnc.size() && base::SameText(final_path.substr(0, kUnc.size()), kUnc)) {
    // "\\?\UNC\\x" names no server; read as "\\\x" it would pass for a
    // path below a share.
    std::wstring unc = L"\\\\" + std::wstring(final_path.substr(kUnc.size()));
    return IsAbsoluteLocation(unc) ? unc : std::wstring();
  }
  if (final_path.substr(0, kLocal.size()) == kLocal) final_path.remove_prefix(kLocal.size());
  if (final_path.size() >= 2 && IsDriveLetter(final_path[0]) && final_path[1] == L':' &&
      (final_path.size() == 2 || IsSeparator(final_path[2]))) {
    return std::wstring(final_path);
  }
  return {};
}

bool IsDriveAbsolute(std::wstring_view path) noexcept {
  return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
}

bool IsAbsoluteLocation(std::wstring_view path) noexcept {
  if (IsDriveAbsolute(path)) return true;
  // L"\\\\srv\\...": a server name that is neither "." nor "?" (device paths).
  return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
         !IsSeparator(path[2]) && !(path.size() >= 4 && (path[2] == L'.' || path[2] == L'?') &&
                                    IsSeparator(path[3]));
}

bool IsRootLocation(std::wstring_view path) noexcept {
  const std::wstring_view trimmed = TrimFinalSeparators(path);
  if (trimmed.size() == 2 && IsDriveLetter(trimmed[0]) && trimmed[1] == L':') return true;
  const std::size_t share = ShareLength(trimmed);
  return share != 0 && share == trimmed.size();
}

std::wstring JudgedPath(std::wstring_view full_path, std::wstring_view final_path) {
  const std::wstring_view full = TrimFinalSeparators(full_path);
  return std::wstring(base::SameText(full, TrimFinalSeparators(final_path)) ? full : final_path);
}

std::wstring RemovalRefusal(std::wstring_view full_path, std::wstring_view final_path,
                            bool is_link) {
  if (is_link) return L"the location is a link";
  if (final_path.empty()) return L"the final path of the location cannot be read";
  if (IsRootLocation(full_path) || IsRootLocation(final_path)) {
    return L"the location is a drive or share root";
  }
  const std::wstring judged = JudgedPath(full_path, final_path);
  const std::wstring_view below_root = std::wstring_view(judged).substr(DrivePart(judged).size());
  if (below_root.find(L"orvek") == std::wstring_view::npos) return std::wstring(kRefusalNoOrvek);
  return {};
}

bool IsOnShare(std::wstring_view path) noexcept { return ShareLength(path) != 0; }

std::wstring EarlierInstallationRefusal(std::wstring_view full_path, std::wstring_view final_path,
                                        bool is_link) {
  if (IsOnShare(full_path) || IsOnShare(final_path)) return std::wstring(kRefusalOnShare);
  return RemovalRefusal(full_path, final_path, is_link);
}

}  // namespace orvek::system
