#include "system/files/tree_removal.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/text.h"
#include "log/logs.h"
#include "system/files/handle_operations.h"
#include "system/files/removal_rules.h"
#include "system/files/tree_walk.h"

namespace orvek::system {
namespace {

std::function<void(const std::wstring&)>& PauseHook() {
  static std::function<void(const std::wstring&)> hook;
  return hook;
}

void CannotDelete(const std::wstring& path) { log::LogErrorFmt(L"Cannot delete File %s", path); }

// One directory being emptied, open in `handle_`; `path_` ends in a
// backslash. Its entries are listed when the walk first reaches it; the
// directory goes once the walk leaves it (the root only when asked).
class EmptiedDirectory : public WalkedDirectory {
 public:
  EmptiedDirectory(const TreeRemovalOptions& options, base::UniqueHandle handle, std::wstring path, bool top)
      : options_(options), handle_(std::move(handle)), path_(std::move(path)), top_(top) {}

  std::unique_ptr<WalkedDirectory> Next(bool& done) override {
    if (!listed_) {
      entries_ = ListEntries(handle_.get());
      if (const auto& pause = PauseHook()) pause(path_);
      final_path_ = FinalPathOf(handle_.get());
      listed_ = true;
    }
    if (next_ == entries_.size()) {
      done = true;
      return nullptr;
    }
    return Remove(entries_[next_++]);
  }

  void Leave() override {
    // A directory that cannot go still holds something: no line for it.
    if (!top_ || options_.remove_root) DeleteThroughHandle(handle_.get(), options_.own_tree);
  }

  std::wstring Path() const override { return path_; }

 private:
  std::unique_ptr<WalkedDirectory> Remove(const ListedEntry& entry) {
    const std::wstring path = path_ + entry.name;
    const bool listed_directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                  !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (listed_directory) {
      if (top_ && options_.skip_32_character_names && entry.name.size() == 32) return nullptr;
      // A directory the attribute table does not know is neither entered
      // nor removed, as files are never deleted as directories.
      if (!options_.own_tree && !IsDirectoryEntry(entry.attributes, entry.name)) {
        CannotDelete(path);
        return nullptr;
      }
    } else if (options_.keep &&
               std::find(options_.keep->begin(), options_.keep->end(), path) != options_.keep->end()) {
      return nullptr;
    }
    const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | (listed_directory ? FILE_LIST_DIRECTORY : 0) |
                               (options_.own_tree ? FILE_WRITE_ATTRIBUTES : 0);
    DWORD error = 0;
    base::UniqueHandle child = OpenChild(handle_.get(), entry.name, access, &error);
    if (!child) {
      CannotDelete(path);
      return nullptr;
    }
    const std::wstring expected = final_path_.empty() ? L"" : final_path_ + L"\\" + entry.name;
    switch (IdentifyOpened(child.get(), entry, expected)) {
      case Opened::kOther:
        CannotDelete(path);
        return nullptr;
      case Opened::kLink:
        break;  // removed as a link below, never entered
      case Opened::kListed:
        if (listed_directory) {
          return std::make_unique<EmptiedDirectory>(options_, std::move(child), path + L"\\", false);
        }
        break;
    }
    if (DeleteThroughHandle(child.get(), options_.own_tree) != 0 && !listed_directory) CannotDelete(path);
    return nullptr;
  }

  const TreeRemovalOptions& options_;
  base::UniqueHandle handle_;
  std::wstring path_;
  bool top_;
  bool listed_ = false;
  std::vector<ListedEntry> entries_;
  std::size_t next_ = 0;
  std::wstring final_path_;
};

}  // namespace

bool RemoveTreeThroughHandles(const std::wstring& final_path, const TreeRemovalOptions& options) {
  const ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | (options.remove_root ? DELETE : 0) |
                             (options.own_tree ? FILE_WRITE_ATTRIBUTES : 0);
  base::UniqueHandle root =
      OpenEntryItself(final_path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!root || !IsDirectoryAt(root.get(), final_path)) return false;
  RemoveTreeAt(std::move(root), final_path, options);
  return true;
}

bool RemoveTreeAt(base::UniqueHandle root, const std::wstring& path, const TreeRemovalOptions& options) {
  std::wstring walked = path;
  if (walked.back() != L'\\') walked += L'\\';
  const bool whole = WalkTree(std::make_unique<EmptiedDirectory>(options, std::move(root), walked, true),
                              kMaxTreeDepth, [](const WalkedDirectory& deep) {
                                log::LogError(TooDeepLine(deep.Path()));
                              });
  return whole;
}

void SetTreeWalkPauseForTesting(std::function<void(const std::wstring& directory)> pause) {
  PauseHook() = std::move(pause);
}

}  // namespace orvek::system
