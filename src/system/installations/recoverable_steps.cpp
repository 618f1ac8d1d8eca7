#include "system/installations/recoverable_steps.h"

#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "base/os_error.h"
#include "base/system_message.h"
#include "base/text.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/files/directories.h"
#include "system/files/directory_removal.h"
#include "system/files/file_holders.h"
#include "system/files/handle_operations.h"
#include "system/files/removal_rules.h"
#include "system/files/tree_removal.h"
#include "system/installations/aside_rules.h"
#include "system/installations/entry_moves.h"
#include "system/installations/upgrade_seams.h"
#include "system/registry.h"

namespace orvek::system {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK kWholeTree = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool IsInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

std::wstring RootName(HKEY root) {
  return root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE" : L"HKEY_CURRENT_USER";
}

HKEY RootOf(const std::wstring& name) {
  return name == L"HKEY_LOCAL_MACHINE" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::wstring Text(const std::exception& e) { return base::WideFromUtf8(e.what()); }

std::wstring WithoutFinalSeparators(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

// `path` with its last name spelled as the file system spells it in
// `final_path`: moved aside and back, a folder keeps the letter case of its
// name whatever case the entry or the command line gave it in.
std::wstring WithOwnName(const std::wstring& path, const std::wstring& final_path) {
  const std::size_t cut = path.find_last_of(L'\\');
  const std::size_t final_cut = final_path.find_last_of(L'\\');
  if (cut == std::wstring::npos || final_cut == std::wstring::npos) return path;
  const std::wstring own = final_path.substr(final_cut + 1);
  return base::SameText(path.substr(cut + 1), own) ? path.substr(0, cut + 1) + own : path;
}

// What is at `path` itself, opened for `access`, and whether it is the
// object of `identity`: only that is ever acted on.
struct Recorded {
  base::UniqueHandle handle;
  DWORD error = 0;
  bool same = false;
};

Recorded OpenRecorded(const std::wstring& path, DWORD access, const std::wstring& identity,
                      DWORD share = kShareAll) {
  Recorded found;
  found.handle = OpenEntryItself(path, access, share);
  if (!found.handle) {
    found.error = ::GetLastError();
    return found;
  }
  found.same = !identity.empty() && FileIdentityOf(found.handle.get()) == identity;
  return found;
}

// A record whose object cannot be proven to be the one it names is dropped
// without acting on anything.
bool Ignored(const JournalRecord& record, const std::wstring& why) {
  log::LogWarn(L"install journal record ignored, " + record.path + L", " + why);
  return true;
}

// The names an aside of `record` can have: the recorded one, or, for a run
// that ended between a rename and its record, every name it may have taken.
std::vector<std::wstring> AsideCandidates(const JournalRecord& record) {
  if (!record.aside.empty()) return {record.aside};
  std::vector<std::wstring> names;
  for (int n = 1; n <= kAsideCandidates; ++n) {
    std::wstring aside = AsideLocation(record.path, n);
    if (!aside.empty()) names.push_back(std::move(aside));
  }
  return names;
}

TreeRemovalOptions OwnTree() {
  TreeRemovalOptions own;
  own.own_tree = true;
  own.remove_root = true;
  return own;
}

class CreateDirectory : public RecoverableStep {
 public:
  explicit CreateDirectory(std::wstring dir) : RecoverableStep({}), dir_(std::move(dir)) {
    record_.kind = L"created";
  }
  explicit CreateDirectory(JournalRecord record) : RecoverableStep(std::move(record)) {}

  // The first directory it creates is recorded by its identity: the new
  // tree goes on failure whatever its name, and nothing else does.
  void Do() override {
    std::wstring top;
    for (std::wstring up = dir_; !up.empty() && !Exists(up);) {
      top = up;
      const std::size_t cut = up.find_last_of(L'\\');
      if (cut == std::wstring::npos || cut < 3) break;
      up.resize(cut);
    }
    if (!top.empty() && IsAbsoluteLocation(top)) {
      DWORD error = 0;
      const base::UniqueHandle created = CreateDirectoryOpen(nullptr, top, FILE_READ_ATTRIBUTES, &error);
      if (created) {
        record_.path = top;
        record_.identity = FileIdentityOf(created.get());
        if (!record_.identity.empty()) AddJournalRecord(record_);
      }
    }
    CreateDirectories(dir_);
  }

  bool Undo() noexcept override {
    try {
      if (record_.path.empty()) return true;
      if (record_.identity.empty()) return Ignored(record_, L"no identity was recorded");
      Recorded created = OpenRecorded(record_.path, kWholeTree, record_.identity);
      if (!created.handle) {
        if (IsMissing(created.error)) return true;
        log::LogError(L"new installation not removed, " + record_.path + L", " + base::SystemMessage(created.error));
        return false;
      }
      if (!created.same) return Ignored(record_, L"it is not the directory this run created");
      RemoveTreeAt(std::move(created.handle), record_.path, OwnTree());
      if (Exists(record_.path)) {
        log::LogError(L"new installation not removed, " + record_.path);
        return false;
      }
      log::LogInfo(L"new installation removed, " + record_.path);
      return true;
    } catch (const std::exception& e) {
      log::LogError(L"new installation not removed, " + record_.path + L", " + Text(e));
      return false;
    }
  }

 private:
  std::wstring dir_;
};

class MoveAside : public RecoverableStep {
 public:
  MoveAside(std::wstring location, std::function<bool(const std::wstring&)> must_write)
      : RecoverableStep({}), location_(std::move(location)), must_write_(std::move(must_write)) {
    record_.kind = L"moved";
  }
  explicit MoveAside(JournalRecord record) : RecoverableStep(std::move(record)) {}

  void Do() override {
    const std::optional<std::wstring> judged = AcceptEarlierInstallation(location_);
    if (!judged) return;
    record_.path = *judged;
    {
      // Recorded before anything changes, by the identity of what is there;
      // a held directory opens for this too.
      const base::UniqueHandle directory = OpenEntryItself(record_.path, FILE_READ_ATTRIBUTES, kShareAll);
      if (!directory || !IsDirectoryAt(directory.get(), record_.path)) {
        return LogRemovalRefusal(location_, L"the location changed after it was checked");
      }
      record_.path = WithOwnName(record_.path, FinalPathOf(directory.get()));
      record_.identity = FileIdentityOf(directory.get());
      if (record_.identity.empty()) Refuse(ERROR_INVALID_FUNCTION);
      AddJournalRecord(record_);
    }
    // The client's processes were only told to end, and one still running
    // from the folder keeps it from moving: they get a few seconds.
    DWORD error = TryMove();
    for (DWORD waited = 0; IsInUse(error) && waited < kInUseWaitMs; waited += kInUseRetryMs) {
      ::Sleep(kInUseRetryMs);
      error = TryMove();
    }
    if (error == kLocationChanged) return LogRemovalRefusal(location_, L"the location changed after it was checked");
    if (IsInUse(error)) return MoveEntries();
    if (error != 0) Refuse(error);
    log::LogInfo(L"earlier installation moved aside, " + record_.path + L" to " + record_.aside);
    // As DelDir leaves it: an empty directory at the location, which only
    // the undo of this run removes again.
    const base::UniqueHandle placeholder = CreateDirectoryOpen(nullptr, record_.path, FILE_READ_ATTRIBUTES, &error);
    if (!placeholder) throw base::OsError("CreateDirectory " + base::Utf8FromWide(record_.path), error);
    record_.placeholder = FileIdentityOf(placeholder.get());
    UpdateJournalRecord(record_);
  }

  bool Undo() noexcept override {
    try {
      if (record_.path.empty()) return true;
      if (record_.identity.empty()) return Ignored(record_, L"no identity was recorded");
      if (!record_.aside.empty() && !IsAsideOf(record_.path, record_.aside)) {
        return Ignored(record_, L"not an aside of it, " + record_.aside);
      }
      return record_.aside_identity.empty() ? UndoMove() : UndoEntryMoves();
    } catch (const std::exception& e) {
      log::LogError(L"earlier installation not moved back, " + record_.path + L", " + Text(e));
      return false;
    }
  }

  bool Complete() noexcept override {
    try {
      if (record_.identity.empty()) return Ignored(record_, L"no identity was recorded");
      if (record_.aside.empty()) return true;
      Recorded aside = OpenRecorded(record_.aside, kWholeTree, AsideIdentity());
      if (!aside.handle) return IsMissing(aside.error) || Kept();
      if (!aside.same) return Ignored(record_, L"it is not what this run moved aside, " + record_.aside);
      log::LogInfo(L"removing moved-aside directory, " + record_.aside);
      RemoveTreeAt(std::move(aside.handle), record_.aside, OwnTree());
      if (Exists(record_.aside)) return Kept();
      log::LogInfo(L"moved-aside directory removed, " + record_.aside);
      return true;
    } catch (const std::exception& e) {
      log::LogError(L"moved-aside directory kept, " + record_.aside + L", " + Text(e));
      return false;
    }
  }

  void KeepReadOnlyMarks(const std::wstring& dir) noexcept override {
    try {
      if (record_.aside.empty() || !base::SameText(WithoutFinalSeparators(record_.path), WithoutFinalSeparators(dir))) {
        return;
      }
      const Recorded aside = OpenRecorded(record_.aside, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, AsideIdentity());
      const base::UniqueHandle written =
          OpenEntryItself(record_.path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareAll);
      if (!aside.same || !written || !IsDirectoryAt(written.get(), record_.path)) return;
      CarryReadOnlyMarks(aside.handle.get(), record_.aside, written.get(), record_.path);
    } catch (const std::exception& e) {
      log::LogWarn(L"read-only marks not kept, " + record_.path + L", " + Text(e));
    }
  }

 private:
  static constexpr DWORD kInUseWaitMs = 5000;
  static constexpr DWORD kInUseRetryMs = 250;
  static constexpr DWORD kLocationChanged = ERROR_BAD_PATHNAME;
  static constexpr ACCESS_MASK kWritableFolder =
      FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_READ_ATTRIBUTES;

  // The directory aside: the moved one itself, or the one made for the
  // entries of a held one.
  const std::wstring& AsideIdentity() const {
    return record_.aside_identity.empty() ? record_.identity : record_.aside_identity;
  }

  bool Kept() const {
    log::LogWarn(L"moved-aside directory kept, " + record_.aside + L", a later run removes it");
    return false;
  }

  // One attempt to rename the recorded directory to the first free name
  // beside it, through a handle held without delete sharing, so that nobody
  // renames it between the check and the move. The aside is recorded only
  // once the directory is there. 0 when it moved.
  DWORD TryMove() {
    const base::UniqueHandle directory =
        OpenEntryItself(record_.path, DELETE | FILE_READ_ATTRIBUTES, kShareNoDelete);
    if (!directory) return ::GetLastError();
    if (!IsDirectoryAt(directory.get(), record_.path) || FileIdentityOf(directory.get()) != record_.identity) {
      return kLocationChanged;
    }
    if (MoveRefusedForTesting(record_.path)) return ERROR_ACCESS_DENIED;
    for (int n = 1; n <= kAsideCandidates; ++n) {
      const std::wstring aside = AsideLocation(record_.path, n);
      if (Exists(aside)) continue;
      const DWORD error = RenameThroughHandle(directory.get(), aside);
      if (error == 0) {
        record_.aside = aside;
        // Where a file system gives a new index on rename, the new one.
        if (std::wstring identity = FileIdentityOf(directory.get()); !identity.empty()) record_.identity = identity;
        UpdateJournalRecord(record_);
        return 0;
      }
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return error;
    }
    return ERROR_ALREADY_EXISTS;
  }

  // A program holds the directory: what can be moved goes, entry by entry,
  // into a directory made for it beside the location.
  void MoveEntries() {
    log::LogWarn(L"earlier installation held by a program, moving its entries aside, " + record_.path);
    const Recorded folder = OpenRecorded(record_.path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, record_.identity);
    if (!folder.same || !IsDirectoryAt(folder.handle.get(), record_.path)) {
      return LogRemovalRefusal(location_, L"the location changed after it was checked");
    }
    base::UniqueHandle aside;
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int n = 1; n <= kAsideCandidates && !aside && error == ERROR_ALREADY_EXISTS; ++n) {
      const std::wstring candidate = AsideLocation(record_.path, n);
      aside = CreateDirectoryOpen(nullptr, candidate, kWritableFolder | DELETE, &error);
      if (aside) record_.aside = candidate;
    }
    if (!aside) Refuse(error);
    record_.aside_identity = FileIdentityOf(aside.get());
    UpdateJournalRecord(record_);
    const EntryMoves moves = MoveEntriesInto(folder.handle.get(), record_.path, aside.get(), record_.aside, must_write_);
    if (!moves.conflict.empty()) {
      const std::wstring holders = ProgramsHolding(moves.conflict);
      throw EarlierInstallationInUse("the earlier installation cannot be moved aside, " +
                                         base::Utf8FromWide(location_) + ", the new installation writes " +
                                         base::Utf8FromWide(moves.conflict) + ", which is in use" +
                                         (holders.empty() ? "" : " by " + base::Utf8FromWide(holders)),
                                     holders);
    }
    record_.held = moves.held;
    record_.held_recorded = true;
    UpdateJournalRecord(record_);
    log::LogInfo(L"earlier installation moved aside entry by entry, " + record_.path + L" to " + record_.aside);
  }

  [[noreturn]] void Refuse(DWORD error) {
    const std::string reason = error == ERROR_ALREADY_EXISTS
                                   ? std::string("every name beside it is taken")
                                   : base::SystemMessageUtf8(error);
    const std::string message =
        "the earlier installation cannot be moved aside, " + base::Utf8FromWide(location_) + ", " + reason;
    // No name is free: no program to close, and nothing was changed.
    if (error == ERROR_ALREADY_EXISTS) throw std::runtime_error(message);
    throw EarlierInstallationInUse(message);
  }

  bool UndoMove() {
    base::UniqueHandle moved;
    std::wstring aside;
    for (const std::wstring& candidate : AsideCandidates(record_)) {
      Recorded found = OpenRecorded(candidate, DELETE | FILE_READ_ATTRIBUTES, record_.identity, kShareNoDelete);
      if (found.same) {
        moved = std::move(found.handle);
        aside = candidate;
        break;
      }
      if (!found.handle && !IsMissing(found.error) && !record_.aside.empty()) {
        log::LogError(L"earlier installation not moved back, " + candidate + L", " + base::SystemMessage(found.error));
        return false;
      }
    }
    // Nothing this run moved is aside: nothing to take back.
    if (!moved) return true;
    // What is at the location now is this run's: the new tree in the
    // directory it put there, or an empty one it had not recorded yet.
    Recorded at = OpenRecorded(record_.path, kWholeTree, record_.placeholder);
    if (at.same) {
      RemoveTreeAt(std::move(at.handle), record_.path, OwnTree());
    } else if (at.handle) {
      BY_HANDLE_FILE_INFORMATION info{};
      const bool directory = ::GetFileInformationByHandle(at.handle.get(), &info) &&
                             (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                             !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
      if (directory) DeleteThroughHandle(at.handle.get(), false);
      at.handle.reset();
    } else if (!IsMissing(at.error)) {
      log::LogError(L"earlier installation not moved back, " + aside + L", " + base::SystemMessage(at.error));
      return false;
    }
    if (Exists(record_.path)) {
      log::LogError(L"earlier installation not moved back, " + aside + L", " + record_.path +
                    L" holds what this run did not put there");
      return false;
    }
    if (const DWORD error = RenameThroughHandle(moved.get(), record_.path); error != 0) {
      log::LogError(L"earlier installation not moved back, " + aside + L", " + base::SystemMessage(error));
      return false;
    }
    log::LogInfo(L"earlier installation moved back, " + aside + L" to " + record_.path);
    return true;
  }

  bool UndoEntryMoves() {
    const Recorded folder = OpenRecorded(record_.path, kWritableFolder, record_.identity, kShareNoDelete);
    if (!folder.same) {
      if (folder.handle) return Ignored(record_, L"it is not the directory this run left in place");
      log::LogError(L"earlier installation not moved back, " + record_.aside + L", " +
                    base::SystemMessage(folder.error));
      return false;
    }
    const Recorded aside =
        OpenRecorded(record_.aside, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | DELETE, record_.aside_identity);
    if (!aside.handle) return IsMissing(aside.error);
    if (!aside.same) return Ignored(record_, L"it is not what this run moved aside, " + record_.aside);
    // Once the entries were moved, the new installation went in beside
    // what stayed: that goes first.
    const bool cleared = !record_.held_recorded || RemoveAllBut(folder.handle.get(), record_.path, record_.held);
    if (!cleared || !MoveEntriesBack(aside.handle.get(), record_.aside, folder.handle.get(), record_.path)) {
      log::LogError(L"earlier installation not moved back, " + record_.aside + L", not everything could be moved");
      return false;
    }
    DeleteThroughHandle(aside.handle.get(), false);
    log::LogInfo(L"earlier installation moved back, " + record_.aside + L" to " + record_.path);
    return true;
  }

  std::wstring location_;
  std::function<bool(const std::wstring&)> must_write_;
};

// A file that Wine reached by following a link reports its target's path.
bool IsPlainFileAt(HANDLE file, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(file, &info) &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
         IsEntryAt(file, path);
}

// The shortcut is renamed, not copied: taken back byte for byte, with its
// times.
class MoveShortcutAside : public RecoverableStep {
 public:
  explicit MoveShortcutAside(std::wstring path) : RecoverableStep({}) {
    record_.kind = L"shortcut";
    record_.path = std::move(path);
  }
  explicit MoveShortcutAside(JournalRecord record) : RecoverableStep(std::move(record)) {}

  void Do() override {
    if (!FileExists(record_.path)) return;
    const base::UniqueHandle file = OpenEntryItself(record_.path, DELETE | FILE_READ_ATTRIBUTES, kShareAll);
    if (!file) return;
    if (!IsPlainFileAt(file.get(), record_.path)) {
      // A link goes as a link where the system opened it as one; one that
      // was followed (Wine) is left alone with its target.
      if (IsLink(file.get())) DeleteThroughHandle(file.get(), false);
      return;
    }
    record_.identity = FileIdentityOf(file.get());
    if (record_.identity.empty()) return;
    AddJournalRecord(record_);
    for (int n = 1; n <= kAsideCandidates; ++n) {
      const std::wstring aside = AsideLocation(record_.path, n);
      if (aside.empty() || Exists(aside)) continue;
      const DWORD error = RenameThroughHandle(file.get(), aside);
      if (error == 0) {
        record_.aside = aside;
        UpdateJournalRecord(record_);
        return;
      }
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return;
    }
  }

  bool Undo() noexcept override {
    if (record_.identity.empty()) return Ignored(record_, L"no identity was recorded");
    base::UniqueHandle file;
    if (!FindAside(file)) return false;
    if (!file) return true;
    // Never over something that is at the shortcut's name now: that one
    // serves, and the one aside would only be left over.
    if (Exists(record_.path)) return DeleteThroughHandle(file.get(), true) == 0;
    if (const DWORD error = RenameThroughHandle(file.get(), record_.path); error != 0) {
      log::LogError(L"shortcut not restored, " + record_.path + L", " + base::SystemMessage(error));
      return false;
    }
    log::LogInfo(L"shortcut restored, " + record_.path);
    return true;
  }

  bool Complete() noexcept override {
    if (record_.identity.empty()) return Ignored(record_, L"no identity was recorded");
    base::UniqueHandle file;
    if (!FindAside(file)) return false;
    return !file || DeleteThroughHandle(file.get(), true) == 0;
  }

 private:
  static bool IsLink(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }

  // The shortcut this run renamed aside, in `file` (empty when it is not
  // aside). False while it cannot be opened (another program has it open):
  // the record stays for a later run.
  bool FindAside(base::UniqueHandle& file) const {
    for (const std::wstring& candidate : AsideCandidates(record_)) {
      Recorded found = OpenRecorded(candidate, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, record_.identity);
      if (found.same && IsPlainFileAt(found.handle.get(), candidate)) {
        file = std::move(found.handle);
        return true;
      }
      if (!found.handle && !IsMissing(found.error) && !record_.aside.empty()) return false;
    }
    return true;
  }
};

class DeleteRegistryKeyTree : public RecoverableStep {
 public:
  DeleteRegistryKeyTree(HKEY root, std::wstring parent, std::wstring key) : RecoverableStep({}) {
    record_.kind = L"registry";
    record_.root = RootName(root);
    record_.path = std::move(parent);
    record_.key = std::move(key);
  }
  explicit DeleteRegistryKeyTree(JournalRecord record) : RecoverableStep(std::move(record)) {}

  void Do() override {
    const HKEY root = RootOf(record_.root);
    if (const std::optional<RegistryKey> source = RegistryKey::Open(root, KeyPath(), RegistryAccess::kRead)) {
      if (AddJournalRecord(record_)) {
        try {
          if (std::optional<RegistryKey> saved = RegistryKey::Create(HKEY_LOCAL_MACHINE, SavedPath())) {
            // A user's own settings: no other user may read the copy, also
            // where the journal's own restriction does not reach.
            saved->RestrictToAdministrators();
            saved->CopyTreeFrom(*source);
          }
        } catch (const std::exception& e) {
          log::LogWarn(L"registry key not saved, " + FullName() + L", " + Text(e));
          if (std::optional<RegistryKey> record = OpenJournalRecord(record_)) record->DeleteKeyTree(L"saved");
        }
      }
    }
    DeleteRegistryKey(record_.path, record_.key, root);
  }

  bool Undo() noexcept override {
    try {
      const std::optional<RegistryKey> saved =
          record_.id.empty() ? std::nullopt : RegistryKey::Open(HKEY_LOCAL_MACHINE, SavedPath(), RegistryAccess::kRead);
      if (!saved) return true;
      std::optional<RegistryKey> key = RegistryKey::Create(RootOf(record_.root), KeyPath());
      if (!key) throw base::OsError("RegCreateKeyExW", ERROR_ACCESS_DENIED);
      key->CopyTreeFrom(*saved);
      log::LogInfo(L"registry key restored, " + FullName());
      return true;
    } catch (const std::exception& e) {
      log::LogError(L"registry key not restored, " + FullName() + L", " + Text(e));
      return false;
    }
  }

 private:
  std::wstring KeyPath() const { return record_.path + L"\\" + record_.key; }
  std::wstring FullName() const { return record_.root + L"\\" + KeyPath(); }
  std::wstring SavedPath() const { return std::wstring(kInstallJournalKey) + L"\\" + record_.id + L"\\saved"; }
};

// What a record another run still works on, or another account's key,
// stands for; it is left as it is.
std::wstring LeftRecordLine(const JournalRecord& r, RecordTurn turn) {
  std::wstring what = r.kind == L"registry" ? r.root + L"\\" + r.path + L"\\" + r.key
                      : r.aside.empty()     ? r.path
                                            : r.path + L", " + r.aside;
  if (turn == RecordTurn::kLeaveRunGoingOn) {
    return L"install journal record left, its run still goes on, " + r.run + L", " + r.kind + L" " + what;
  }
  return L"registry key left for its own account's next run, " + r.account + L", " + what;
}

std::unique_ptr<RecoverableStep> StepFromRecord(const JournalRecord& record) {
  if (record.kind == L"created") return std::make_unique<CreateDirectory>(record);
  if (record.kind == L"moved") return std::make_unique<MoveAside>(record);
  if (record.kind == L"shortcut") return std::make_unique<MoveShortcutAside>(record);
  if (record.kind == L"registry") return std::make_unique<DeleteRegistryKeyTree>(record);
  return nullptr;
}

// What completed installations kept aside: removed where it can be now,
// kept recorded where not. One that is still removing it does so itself.
void RemoveCompletedAsides() {
  for (const JournalRecord& record : ReadJournal()) {
    if (!record.completed || TurnOf(record) != RecordTurn::kActOn) continue;
    const std::unique_ptr<RecoverableStep> step = StepFromRecord(record);
    if (!step || step->Complete()) RemoveJournalRecord(record);
  }
}

}  // namespace

std::wstring FreeAsideLocation(const std::wstring& final_path) {
  for (int n = 1; n <= kAsideCandidates; ++n) {
    std::wstring aside = AsideLocation(final_path, n);
    if (!aside.empty() && !Exists(aside)) return aside;
  }
  return {};
}

std::unique_ptr<RecoverableStep> CreateDirectoryStep(const std::wstring& dir) {
  return std::make_unique<CreateDirectory>(dir);
}

std::unique_ptr<RecoverableStep> MoveAsideStep(const std::wstring& location,
                                               std::function<bool(const std::wstring&)> must_write) {
  return std::make_unique<MoveAside>(location, std::move(must_write));
}

std::unique_ptr<RecoverableStep> MoveShortcutAsideStep(const std::wstring& path) {
  return std::make_unique<MoveShortcutAside>(path);
}

std::unique_ptr<RecoverableStep> DeleteRegistryKeyStep(HKEY root, const std::wstring& parent,
                                                       const std::wstring& key) {
  return std::make_unique<DeleteRegistryKeyTree>(root, parent, key);
}

void UpgradeSteps::Run(std::unique_ptr<RecoverableStep> step) {
  steps_.push_back(std::move(step));
  steps_.back()->Do();
}

void UpgradeSteps::UndoAll() noexcept {
  for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
    if ((*it)->Undo()) RemoveJournalRecord((*it)->record());
  }
  steps_.clear();
}

void UpgradeSteps::KeepReadOnlyMarks(const std::wstring& dir) noexcept {
  for (const auto& step : steps_) step->KeepReadOnlyMarks(dir);
}

void UpgradeSteps::CloseJournal() noexcept {
  try {
    CompleteJournal();
  } catch (const std::exception& e) {
    log::LogError(L"install journal not completed, " + Text(e));
  }
  // Without a record (the journal refused it) only this run knows them.
  for (auto& step : steps_) {
    if (step->record().id.empty()) unrecorded_.push_back(std::move(step));
  }
  steps_.clear();
}

void UpgradeSteps::RemoveAsides() noexcept {
  try {
    for (const auto& step : unrecorded_) step->Complete();
    unrecorded_.clear();
    RemoveCompletedAsides();
  } catch (const std::exception& e) {
    log::LogError(L"removal of the earlier installation failed, " + Text(e));
  }
}

bool UpgradeSteps::AsidesWait() const noexcept {
  for (const auto& step : unrecorded_) {
    if (!step->record().aside.empty() || !step->record().aside_identity.empty()) return true;
  }
  try {
    for (const JournalRecord& record : ReadJournal()) {
      if (record.completed && TurnOf(record) == RecordTurn::kActOn) return true;
    }
  } catch (const std::exception&) {
    // Only the page's text depends on it.
  }
  return false;
}

void UpgradeSteps::CompleteAll() noexcept {
  CloseJournal();
  RemoveAsides();
}

void RepairInterruptedInstallation() noexcept {
  try {
    const std::vector<JournalRecord> records = ReadJournal();
    bool announced = false;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
      if (it->completed) continue;
      if (const RecordTurn turn = TurnOf(*it); turn != RecordTurn::kActOn) {
        log::LogInfo(LeftRecordLine(*it, turn));
        continue;
      }
      if (!announced) log::LogInfo(L"interrupted installation found, taking it back");
      announced = true;
      const std::unique_ptr<RecoverableStep> step = StepFromRecord(*it);
      if (!step || step->Undo()) RemoveJournalRecord(*it);
    }
    RemoveCompletedAsides();
  } catch (const std::exception& e) {
    log::LogError(L"interrupted installation not taken back, " + Text(e));
  }
}

bool InterruptedInstallationMovesTrees() {
  for (const JournalRecord& record : ReadJournal()) {
    if (TurnOf(record) != RecordTurn::kActOn) continue;
    if (!record.aside.empty() || (record.kind == L"created" && !record.completed)) return true;
  }
  return false;
}

std::vector<std::wstring> DescribeInterruptedInstallation() {
  std::vector<std::wstring> lines;
  const std::vector<JournalRecord> records = ReadJournal();
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    const JournalRecord& r = *it;
    if (const RecordTurn turn = TurnOf(r); turn != RecordTurn::kActOn) {
      lines.push_back(LeftRecordLine(r, turn));
    } else if (r.completed) {
      lines.push_back(L"kept aside by a completed installation, would be removed, " + r.aside);
    } else if (r.kind == L"moved") {
      lines.push_back(L"interrupted installation, earlier installation would be moved back, " +
                      (r.aside.empty() ? L"from beside it" : r.aside) + L" to " + r.path);
    } else if (r.kind == L"created") {
      lines.push_back(L"interrupted installation, its new tree would be removed, " + r.path);
    } else if (r.kind == L"shortcut") {
      lines.push_back(L"interrupted installation, shortcut would be restored, " + r.path);
    } else if (r.kind == L"registry") {
      lines.push_back(L"interrupted installation, registry key would be restored, " + r.root + L"\\" + r.path +
                      L"\\" + r.key);
    }
  }
  return lines;
}

}  // namespace orvek::system
