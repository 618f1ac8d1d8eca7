#include "system/installations/entry_moves.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "base/text.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/files/handle_operations.h"
#include "system/files/tree_removal.h"
#include "system/files/tree_walk.h"
#include "system/installations/upgrade_seams.h"

namespace orvek::system {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders written into are held so that nobody renames them meanwhile.
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK kWritableFolder =
    FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_READ_ATTRIBUTES;

bool IsRealDirectory(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

void CannotDelete(const std::wstring& path) { log::LogErrorFmt(L"Cannot delete File %s", path); }

class PairedFolder;
// Handles one entry of the source folder; returns the pair to walk next.
using Visit = std::function<std::unique_ptr<WalkedDirectory>(PairedFolder& level, const ListedEntry& entry)>;

// A folder of the source tree and its counterpart in the target tree (none
// where the walk has no target), open while the walk is below them.
class PairedFolder : public WalkedDirectory {
 public:
  PairedFolder(const Visit& visit, const Visit& leave, HANDLE from, std::wstring from_path, HANDLE to,
               std::wstring to_path, std::wstring relative)
      : visit_(visit), leave_(leave), from_(from), to_(to), from_path_(std::move(from_path)),
        to_path_(std::move(to_path)), relative_(std::move(relative)) {}
  PairedFolder(const Visit& visit, const Visit& leave, base::UniqueHandle from, std::wstring from_path,
               base::UniqueHandle to, std::wstring to_path, std::wstring relative)
      : PairedFolder(visit, leave, from.get(), std::move(from_path), to.get(), std::move(to_path),
                     std::move(relative)) {
    owned_from_ = std::move(from);
    owned_to_ = std::move(to);
  }

  std::unique_ptr<WalkedDirectory> Next(bool& done) override {
    if (!listed_) {
      entries_ = ListEntries(from_);
      from_final_ = FinalPathOf(from_);
      listed_ = true;
    }
    if (next_ == entries_.size()) {
      done = true;
      return nullptr;
    }
    return visit_(*this, entries_[next_++]);
  }

  void Leave() override {
    if (leave_ && owned_from_) leave_(*this, {});
  }

  std::wstring Path() const override { return from_path_; }

  HANDLE from() const { return from_; }
  HANDLE to() const { return to_; }
  std::wstring FromPath(const std::wstring& name) const { return from_path_ + L"\\" + name; }
  std::wstring ToPath(const std::wstring& name) const { return to_path_ + L"\\" + name; }
  std::wstring Relative(const std::wstring& name) const { return relative_.empty() ? name : relative_ + L"\\" + name; }

  // Opens `entry` of the source folder for `access`; empty unless it is the
  // entry listed, or a link opened as itself (`*link`).
  base::UniqueHandle OpenSource(const ListedEntry& entry, ACCESS_MASK access, DWORD* error, bool* link) const {
    base::UniqueHandle child = OpenChild(from_, entry.name, access, error);
    if (!child) return child;
    const Opened opened =
        IdentifyOpened(child.get(), entry, from_final_.empty() ? L"" : from_final_ + L"\\" + entry.name);
    *link = opened == Opened::kLink;
    if (opened == Opened::kOther) {
      *error = ERROR_BAD_PATHNAME;
      child.reset();
    }
    return child;
  }

  // Opens the real folder `name` of the target folder, held without delete
  // sharing; empty, with `*error`, when there is none or something else.
  base::UniqueHandle OpenTargetFolder(const std::wstring& name, DWORD* error) const {
    base::UniqueHandle child = OpenChild(to_, name, kWritableFolder, error, kShareNoDelete);
    BY_HANDLE_FILE_INFORMATION info{};
    if (child && !(::GetFileInformationByHandle(child.get(), &info) && IsRealDirectory(info.dwFileAttributes))) {
      *error = ERROR_DIRECTORY;
      child.reset();
    }
    return child;
  }

  const Visit& visit() const { return visit_; }
  const Visit& leave() const { return leave_; }

 private:
  const Visit& visit_;
  const Visit& leave_;
  HANDLE from_;
  HANDLE to_;
  base::UniqueHandle owned_from_, owned_to_;
  std::wstring from_path_, to_path_, relative_;
  bool listed_ = false;
  std::vector<ListedEntry> entries_;
  std::size_t next_ = 0;
  std::wstring from_final_;
};

std::unique_ptr<WalkedDirectory> Below(PairedFolder& level, const std::wstring& name, base::UniqueHandle from,
                                       base::UniqueHandle to) {
  return std::make_unique<PairedFolder>(level.visit(), level.leave(), std::move(from), level.FromPath(name),
                                        std::move(to), level.ToPath(name), level.Relative(name));
}

bool Walk(const Visit& visit, const Visit& leave, HANDLE from, const std::wstring& from_path, HANDLE to,
          const std::wstring& to_path) {
  return WalkTree(std::make_unique<PairedFolder>(visit, leave, from, from_path, to, to_path, L""), kMaxTreeDepth,
                  [](const WalkedDirectory& deep) { log::LogError(TooDeepLine(deep.Path())); });
}

}  // namespace

EntryMoves MoveEntriesInto(HANDLE from, const std::wstring& from_path, HANDLE to, const std::wstring& to_path,
                           const std::function<bool(const std::wstring& path)>& must_write) {
  EntryMoves moves;
  const Visit visit = [&](PairedFolder& level, const ListedEntry& entry) -> std::unique_ptr<WalkedDirectory> {
    if (!moves.conflict.empty()) return nullptr;
    const std::wstring path = level.FromPath(entry.name);
    const bool folder = IsRealDirectory(entry.attributes);
    DWORD error = 0;
    bool link = false;
    base::UniqueHandle child =
        level.OpenSource(entry, DELETE | FILE_READ_ATTRIBUTES | (folder ? FILE_LIST_DIRECTORY : 0), &error, &link);
    if (child) {
      error = folder && MoveRefusedForTesting(path) ? ERROR_ACCESS_DENIED
                                                    : RenameThroughHandle(child.get(), level.ToPath(entry.name));
      if (error == 0) return nullptr;
    }
    if (folder && !link && IsInUse(error)) {
      // Held itself: entered without asking to delete it.
      if (!child) child = level.OpenSource(entry, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, &error, &link);
      DWORD made_error = 0;
      base::UniqueHandle made = child ? CreateDirectoryOpen(level.to(), entry.name, kWritableFolder | DELETE,
                                                            &made_error)
                                      : base::UniqueHandle();
      moves.held.push_back(level.Relative(entry.name));
      if (made) return Below(level, entry.name, std::move(child), std::move(made));
      CannotDelete(path);
      return nullptr;
    }
    if (!folder && must_write && must_write(path)) {
      moves.conflict = path;
      return nullptr;
    }
    moves.held.push_back(level.Relative(entry.name));
    CannotDelete(path);
    return nullptr;
  };
  Walk(visit, nullptr, from, from_path, to, to_path);
  return moves;
}

bool MoveEntriesBack(HANDLE from, const std::wstring& from_path, HANDLE to, const std::wstring& to_path) {
  bool all = true;
  const Visit visit = [&](PairedFolder& level, const ListedEntry& entry) -> std::unique_ptr<WalkedDirectory> {
    const bool folder = IsRealDirectory(entry.attributes);
    DWORD error = 0;
    bool link = false;
    base::UniqueHandle child =
        level.OpenSource(entry, DELETE | FILE_READ_ATTRIBUTES | (folder ? FILE_LIST_DIRECTORY : 0), &error, &link);
    if (!child) {
      all = false;
      return nullptr;
    }
    // A folder that stayed behind takes back what was moved out of it.
    DWORD target_error = 0;
    base::UniqueHandle target = folder && !link ? level.OpenTargetFolder(entry.name, &target_error)
                                                : base::UniqueHandle();
    if (target) return Below(level, entry.name, std::move(child), std::move(target));
    if (RenameThroughHandle(child.get(), level.ToPath(entry.name)) != 0) all = false;
    return nullptr;
  };
  // The folders made to take a held folder's entries go once empty.
  const Visit leave = [](PairedFolder& level, const ListedEntry&) -> std::unique_ptr<WalkedDirectory> {
    DeleteThroughHandle(level.from(), false);
    return nullptr;
  };
  return Walk(visit, leave, from, from_path, to, to_path) && all;
}

bool RemoveAllBut(HANDLE dir, const std::wstring& path, const std::vector<std::wstring>& kept) {
  bool all = true;
  const Visit visit = [&](PairedFolder& level, const ListedEntry& entry) -> std::unique_ptr<WalkedDirectory> {
    const std::wstring relative = level.Relative(entry.name);
    const bool folder = IsRealDirectory(entry.attributes);
    const bool keep = std::any_of(kept.begin(), kept.end(),
                                  [&](const std::wstring& k) { return base::SameText(k, relative); });
    DWORD error = 0;
    bool link = false;
    if (keep) {
      if (!folder) return nullptr;
      base::UniqueHandle child = level.OpenSource(entry, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, &error, &link);
      if (!child || link) return nullptr;
      return Below(level, entry.name, std::move(child), base::UniqueHandle());
    }
    base::UniqueHandle child = level.OpenSource(
        entry, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | (folder ? FILE_LIST_DIRECTORY : 0), &error,
        &link);
    if (!child) {
      all = false;
      CannotDelete(level.FromPath(entry.name));
      return nullptr;
    }
    TreeRemovalOptions own;
    own.own_tree = true;
    own.remove_root = true;
    if (folder && !link) {
      RemoveTreeAt(std::move(child), level.FromPath(entry.name), own);
    } else if (DeleteThroughHandle(child.get(), true) != 0) {
      all = false;
      CannotDelete(level.FromPath(entry.name));
    }
    return nullptr;
  };
  return Walk(visit, nullptr, dir, path, nullptr, L"") && all;
}

void CarryReadOnlyMarks(HANDLE from, const std::wstring& from_path, HANDLE to, const std::wstring& to_path) {
  const Visit visit = [&](PairedFolder& level, const ListedEntry& entry) -> std::unique_ptr<WalkedDirectory> {
    DWORD error = 0;
    bool link = false;
    if (IsRealDirectory(entry.attributes)) {
      base::UniqueHandle target = level.OpenTargetFolder(entry.name, &error);
      base::UniqueHandle child =
          target ? level.OpenSource(entry, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, &error, &link)
                 : base::UniqueHandle();
      if (!child || link) return nullptr;
      return Below(level, entry.name, std::move(child), std::move(target));
    }
    if (!(entry.attributes & FILE_ATTRIBUTE_READONLY) || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return nullptr;
    }
    base::UniqueHandle written = OpenChild(level.to(), entry.name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                           &error);
    BY_HANDLE_FILE_INFORMATION info{};
    if (written && ::GetFileInformationByHandle(written.get(), &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      MarkReadOnly(written.get());
    }
    return nullptr;
  };
  Walk(visit, nullptr, from, from_path, to, to_path);
}

}  // namespace orvek::system
