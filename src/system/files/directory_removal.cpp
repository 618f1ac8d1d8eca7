#include "system/files/directory_removal.h"

#include <exception>

#include "log/logs.h"
#include "base/text.h"
#include "base/unicode.h"
#include "system/files/directories.h"
#include "system/files/removal_rules.h"
#include "system/files/tree_removal.h"
#include "base/unique_handle.h"

namespace orvek::system {
namespace {

// The path the system reports for the directory opened through `path`, with
// every link along it followed; empty when it cannot be had.
std::wstring FinalPath(const std::wstring& path) {
  const base::UniqueHandle directory = base::MakeUniqueHandle(
      ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!directory) return {};
  std::wstring final_path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(directory.get(), final_path.data(),
                                                static_cast<DWORD>(final_path.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return {};
    if (n < final_path.size()) {
      final_path.resize(n);
      return final_path;
    }
    final_path.assign(n, L'\0');
  }
}

}  // namespace

RemovalCheck CheckRemovalLocation(const std::wstring& path, bool earlier_installation) {
  if (!IsAbsoluteLocation(path)) return {{}, L"the location is not an absolute path"};
  const std::wstring full = FullPath(path);
  if (full.empty()) return {{}, L"the location cannot be made absolute"};
  // Without its final separators: "link\" may report the target instead.
  std::wstring entry = full;
  while (entry.size() > 3 && entry.back() == L'\\') entry.pop_back();
  const DWORD attributes = ::GetFileAttributesW(entry.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return {{}, L"the location is no directory"};
  }
  RemovalCheck check;
  check.final_path = OrdinaryFromFinalPath(FinalPath(full));
  const bool is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  check.refusal = earlier_installation ? EarlierInstallationRefusal(full, check.final_path, is_link)
                                       : RemovalRefusal(full, check.final_path, is_link);
  if (!check.final_path.empty()) check.judged_path = JudgedPath(full, check.final_path);
  return check;
}

void LogRemovalRefusal(const std::wstring& path, const std::wstring& refusal) {
  std::wstring line = L"DelDir failed, the dir is not contain orvek, " + path;
  if (refusal != kRefusalNoOrvek) line += L", " + refusal;
  log::LogWarn(line);
}

namespace {

std::optional<RemovalCheck> Accept(const std::wstring& path, bool earlier_installation) {
  // Refused by its name: a share need not even be reachable to be refused.
  if (earlier_installation && IsOnShare(path)) {
    LogRemovalRefusal(path, std::wstring(kRefusalOnShare));
    return std::nullopt;
  }
  if (path.empty() || !DirectoryExists(path)) return std::nullopt;
  RemovalCheck check = CheckRemovalLocation(path, earlier_installation);
  if (!check.accepted()) {
    LogRemovalRefusal(path, check.refusal);
    return std::nullopt;
  }
  log::LogInfo(L"DelDir " + path);
  return check;
}

}  // namespace

std::optional<std::wstring> AcceptRemoval(const std::wstring& path) {
  const std::optional<RemovalCheck> check = Accept(path, false);
  if (!check) return std::nullopt;
  return check->final_path;
}

std::optional<std::wstring> AcceptEarlierInstallation(const std::wstring& path) {
  const std::optional<RemovalCheck> check = Accept(path, true);
  if (!check) return std::nullopt;
  return check->judged_path;
}

namespace {

// The guard, then the walk through handles on the final path the guard
// judged, so a link swapped in along the given path after the check cannot
// redirect it.
bool GuardedRemoval(const std::wstring& path, const TreeRemovalOptions& options) {
  try {
    const std::optional<std::wstring> final_path = AcceptRemoval(path);
    if (!final_path) return false;
    if (!RemoveTreeThroughHandles(*final_path, options)) {
      LogRemovalRefusal(path, L"the location changed after it was checked");
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    log::LogError(L"DelDir error, " + base::WideFromUtf8(e.what()));
    return false;
  }
}

}  // namespace

bool DelDir(const std::wstring& path, const std::vector<std::wstring>* filter_list,
            bool skip_32_character_names, bool remove_itself) {
  TreeRemovalOptions options;
  options.keep = filter_list;
  options.skip_32_character_names = skip_32_character_names;
  options.remove_root = remove_itself;
  return GuardedRemoval(path, options);
}

}  // namespace orvek::system
