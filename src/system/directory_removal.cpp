#include "system/directory_removal.h"

#include <algorithm>
#include <exception>

#include "log/logs.h"
#include "base/text.h"
#include "base/unicode.h"
#include "system/directories.h"
#include "system/removal_rules.h"
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

std::wstring WithBackslash(std::wstring path) {
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path;
}

bool IsDirectoryLink(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

RemovalCheck CheckRemovalLocation(const std::wstring& path) {
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
  check.refusal = RemovalRefusal(full, check.final_path,
                                 (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
  return check;
}

bool WalkDir(const std::wstring& directory, const WalkAction& action, const std::wstring& mask,
             bool recursive, bool directories_only, std::vector<std::wstring>& paths,
             bool skip_32_character_names) {
  const std::wstring folder = WithBackslash(directory);
  WIN32_FIND_DATAW entry{};
  const base::UniqueFindHandle search = base::MakeUniqueFindHandle(
      ::FindFirstFileW((folder + mask).c_str(), &entry));
  if (!search) return true;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + name;
    const DWORD attributes = entry.dwFileAttributes;
    // The attribute table admits one word with the reparse bit; entering it
    // could lead the walk into a link's target, so it counts as a file.
    if (IsDirectoryEntry(attributes, name) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      if (skip_32_character_names && name.size() == 32) continue;
      paths.push_back(path);
      if (directories_only && action && !action(path, attributes)) return false;
      if (recursive && !WalkDir(path, action, mask, recursive, directories_only, paths, false)) {
        return false;
      }
    } else if (!directories_only) {
      paths.push_back(path);
      if (action && !action(path, attributes)) return false;
    }
  } while (::FindNextFileW(search.get(), &entry));
  return true;
}

bool DelDir(const std::wstring& path, const std::vector<std::wstring>* filter_list,
            bool skip_32_character_names, bool remove_itself) {
  if (path.empty() || !DirectoryExists(path)) return false;
  try {
    const RemovalCheck check = CheckRemovalLocation(path);
    if (!check.accepted()) {
      std::wstring line = L"DelDir failed, the dir is not contain orvek, " + path;
      if (check.refusal != kRefusalNoOrvek) line += L", " + check.refusal;
      log::LogWarn(line);
      return false;
    }
    log::LogInfo(L"DelDir " + path);

    // The walk runs on the final path, so a link swapped in along the given
    // path after the check cannot redirect it.
    const std::wstring root = WithBackslash(check.final_path);
    const auto delete_file = [filter_list](const std::wstring& file, DWORD attributes) {
      if (filter_list &&
          std::find(filter_list->begin(), filter_list->end(), file) != filter_list->end()) {
        return true;
      }
      if (!::DeleteFileW(file.c_str()) &&
          !(IsDirectoryLink(attributes) && ::RemoveDirectoryW(file.c_str()))) {
        log::LogErrorFmt(L"Cannot delete File %s", file);
      }
      return true;
    };
    std::vector<std::wstring> paths;
    const bool walked =
        WalkDir(root, delete_file, L"*.*", true, false, paths, skip_32_character_names);
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) ::RemoveDirectoryW(it->c_str());
    if (remove_itself) ::RemoveDirectoryW(root.c_str());
    return walked;
  } catch (const std::exception& e) {
    log::LogError(L"DelDir error, " + base::WideFromUtf8(e.what()));
    return false;
  }
}

}  // namespace orvek::system
