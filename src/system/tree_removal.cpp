#include "system/tree_removal.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/text.h"
#include "log/logs.h"
#include "system/handle_operations.h"
#include "system/removal_rules.h"

namespace orvek::system {
namespace {

struct Entry {
  std::wstring name;
  DWORD attributes = 0;
  std::int64_t id = 0;  // 0 where the file system has no identifiers
};

std::function<void(const std::wstring&)>& PauseHook() {
  static std::function<void(const std::wstring&)> hook;
  return hook;
}

// Every entry of the directory open in `directory`, "." and ".." left out.
// A listing that fails gives what was read before; what is not listed stays.
std::vector<Entry> ListDirectory(HANDLE directory) {
  std::vector<Entry> entries;
  std::vector<std::int64_t> buffer(8192);  // 64 KiB, aligned for the records
  const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(buffer[0]));
  FILE_INFO_BY_HANDLE_CLASS info_class = FileIdBothDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(directory, info_class, buffer.data(), size)) {
    info_class = FileIdBothDirectoryInfo;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        entries.push_back({std::move(name), record->FileAttributes, record->FileId.QuadPart});
      }
      if (record->NextEntryOffset == 0) break;
      bytes += record->NextEntryOffset;
    }
  }
  return entries;
}

enum class Opened {
  kListed,  // the object that was listed
  kLink,    // a link, opened as itself
  kOther,   // something else: a name swapped since, or a link Wine followed
};

Opened Identify(HANDLE handle, const Entry& listed, const std::wstring& expected_final_path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return Opened::kOther;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Opened::kLink;
  const std::int64_t id = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                                                    info.nFileIndexLow);
  if (listed.id != 0 && id != listed.id) return Opened::kOther;
  // Listed as a link but opened as something else: the open followed it.
  if (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Opened::kOther;
  // A link to a file that Wine lists as a plain file with its target's
  // identifier: only the final path names the target.
  if (!expected_final_path.empty()) {
    const std::wstring reported = FinalPathOf(handle);
    if (!reported.empty() && !base::SameText(reported, expected_final_path)) return Opened::kOther;
  }
  return Opened::kListed;
}

class TreeWalk {
 public:
  explicit TreeWalk(const TreeRemovalOptions& options) : options_(options) {}

  // Empties the directory open in `directory`; `path` ends in a backslash.
  void Empty(HANDLE directory, const std::wstring& path, bool top) {
    const std::vector<Entry> entries = ListDirectory(directory);
    if (const auto& pause = PauseHook()) pause(path);
    const std::wstring final_path = FinalPathOf(directory);
    for (const Entry& entry : entries) Remove(directory, final_path, path, entry, top);
  }

 private:
  void Remove(HANDLE parent, const std::wstring& parent_final_path, const std::wstring& parent_path,
              const Entry& entry, bool top) {
    const std::wstring path = parent_path + entry.name;
    const bool listed_directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                  !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (listed_directory) {
      if (top && options_.skip_32_character_names && entry.name.size() == 32) return;
      // A directory the attribute table does not know is neither entered
      // nor removed, as files are never deleted as directories.
      if (!options_.own_tree && !IsDirectoryEntry(entry.attributes, entry.name)) return CannotDelete(path);
    } else if (options_.keep && std::find(options_.keep->begin(), options_.keep->end(), path) !=
                                    options_.keep->end()) {
      return;
    }
    const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | (listed_directory ? FILE_LIST_DIRECTORY : 0) |
                               (options_.own_tree ? FILE_WRITE_ATTRIBUTES : 0);
    DWORD error = 0;
    const base::UniqueHandle child = OpenChild(parent, entry.name, access, &error);
    if (!child) return CannotDelete(path);
    const std::wstring expected = parent_final_path.empty() ? L"" : parent_final_path + L"\\" + entry.name;
    switch (Identify(child.get(), entry, expected)) {
      case Opened::kOther:
        return CannotDelete(path);
      case Opened::kLink:
        break;  // removed as a link below, never entered
      case Opened::kListed:
        if (listed_directory) Empty(child.get(), path + L"\\", false);
        break;
    }
    // A directory that cannot go still holds something: no line for it.
    if (DeleteThroughHandle(child.get(), options_.own_tree) != 0 && !listed_directory) CannotDelete(path);
  }

  static void CannotDelete(const std::wstring& path) { log::LogErrorFmt(L"Cannot delete File %s", path); }

  const TreeRemovalOptions& options_;
};

}  // namespace

bool RemoveTreeThroughHandles(const std::wstring& final_path, const TreeRemovalOptions& options) {
  const ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | (options.remove_root ? DELETE : 0) |
                             (options.own_tree ? FILE_WRITE_ATTRIBUTES : 0);
  const base::UniqueHandle root =
      OpenEntryItself(final_path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!root || !IsDirectoryAt(root.get(), final_path)) return false;
  std::wstring path = final_path;
  if (path.back() != L'\\') path += L'\\';
  TreeWalk(options).Empty(root.get(), path, true);
  if (options.remove_root) DeleteThroughHandle(root.get(), options.own_tree);
  return true;
}

void SetTreeWalkPauseForTesting(std::function<void(const std::wstring& directory)> pause) {
  PauseHook() = std::move(pause);
}

}  // namespace orvek::system
