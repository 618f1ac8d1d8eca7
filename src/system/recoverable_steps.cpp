#include "system/recoverable_steps.h"

#include <exception>
#include <optional>

#include "base/os_error.h"
#include "base/system_message.h"
#include "base/text.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/aside_rules.h"
#include "system/directories.h"
#include "system/directory_removal.h"
#include "system/handle_operations.h"
#include "system/previous_installations.h"
#include "system/registry.h"

namespace orvek::system {
namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring RootName(HKEY root) {
  return root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE" : L"HKEY_CURRENT_USER";
}

HKEY RootOf(const std::wstring& name) {
  return name == L"HKEY_LOCAL_MACHINE" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::wstring Text(const std::exception& e) { return base::WideFromUtf8(e.what()); }

class CreateDirectory : public RecoverableStep {
 public:
  explicit CreateDirectory(std::wstring dir) : RecoverableStep({}), dir_(std::move(dir)) {
    record_.kind = L"created";
  }
  explicit CreateDirectory(JournalRecord record) : RecoverableStep(std::move(record)) {}

  void Do() override {
    // The first missing directory on the way down to `dir_`.
    std::wstring top;
    for (std::wstring up = dir_; !up.empty() && !Exists(up);) {
      top = up;
      const std::size_t cut = up.find_last_of(L'\\');
      if (cut == std::wstring::npos || cut < 3) break;
      up.resize(cut);
    }
    CreateDirectories(dir_);
    // Recorded only where it could be removed again: the guard's rules hold
    // for the new tree as for any other.
    if (top.empty() || !DirectoryExists(top) || !CheckRemovalLocation(top).accepted()) return;
    record_.path = top;
    AddJournalRecord(record_);
  }

  bool Undo() noexcept override {
    if (record_.path.empty() || !Exists(record_.path)) return true;
    const bool removed = RemoveOwnDirectory(record_.path);
    if (removed) log::LogInfo(L"new installation removed, " + record_.path);
    return removed;
  }

 private:
  std::wstring dir_;
};

class MoveAside : public RecoverableStep {
 public:
  explicit MoveAside(std::wstring location) : RecoverableStep({}), location_(std::move(location)) {
    record_.kind = L"moved";
  }
  explicit MoveAside(JournalRecord record) : RecoverableStep(std::move(record)) {}

  void Do() override {
    const std::optional<std::wstring> final_path = AcceptRemoval(location_);
    if (!final_path) return;
    record_.path = *final_path;
    // The client's processes were only told to end, and one still running
    // from the folder keeps it from moving: they get a few seconds.
    DWORD error = TryMove();
    for (DWORD waited = 0; IsInUse(error) && waited < kInUseWaitMs; waited += kInUseRetryMs) {
      ::Sleep(kInUseRetryMs);
      error = TryMove();
    }
    if (error == kLocationChanged) return LogRemovalRefusal(location_, L"the location changed after it was checked");
    if (error != 0) Refuse(error);
    log::LogInfo(L"earlier installation moved aside, " + record_.path + L" to " + record_.aside);
    // As DelDir leaves it: an empty directory at the location.
    if (!::CreateDirectoryW(record_.path.c_str(), nullptr)) {
      throw base::OsError("CreateDirectory " + base::Utf8FromWide(record_.path), ::GetLastError());
    }
  }

  bool Undo() noexcept override {
    try {
      if (record_.aside.empty() || !Exists(record_.aside)) return true;
      if (!Trusted()) return true;
      // What is at the location now is the new tree: it goes first.
      const base::UniqueHandle directory =
          OpenEntryItself(record_.aside, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
      DWORD error = directory ? 0 : ::GetLastError();
      if (error == 0 && !IsDirectoryAt(directory.get(), record_.aside)) error = ERROR_BAD_PATHNAME;
      if (error == 0 && Exists(record_.path) && !RemoveOwnDirectory(record_.path)) error = ERROR_DIR_NOT_EMPTY;
      if (error == 0) error = RenameThroughHandle(directory.get(), record_.path);
      if (error != 0) {
        log::LogError(L"earlier installation not moved back, " + record_.aside + L", " +
                      base::SystemMessage(error));
        return false;
      }
      log::LogInfo(L"earlier installation moved back, " + record_.aside + L" to " + record_.path);
      return true;
    } catch (const std::exception& e) {
      log::LogError(L"earlier installation not moved back, " + record_.aside + L", " + Text(e));
      return false;
    }
  }

  bool Complete() noexcept override {
    if (record_.aside.empty() || !Exists(record_.aside) || !Trusted()) return true;
    if (RemoveOwnDirectory(record_.aside)) {
      log::LogInfo(L"moved-aside directory removed, " + record_.aside);
      return true;
    }
    log::LogWarn(L"moved-aside directory kept, " + record_.aside + L", a later run removes it");
    return false;
  }

 private:
  static constexpr DWORD kInUseWaitMs = 5000;
  static constexpr DWORD kInUseRetryMs = 250;
  static constexpr DWORD kLocationChanged = ERROR_BAD_PATHNAME;

  static bool IsInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
  }

  // One attempt to rename the directory to the first free name beside it,
  // through a handle held without delete sharing, so that nobody renames it
  // between the check and the move. 0 when it moved.
  DWORD TryMove() {
    const base::UniqueHandle directory =
        OpenEntryItself(record_.path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!directory) return ::GetLastError();
    if (!IsDirectoryAt(directory.get(), record_.path)) return kLocationChanged;
    for (int n = 1; n <= kAsideCandidates; ++n) {
      record_.aside = AsideLocation(record_.path, n);
      if (Exists(record_.aside)) continue;
      if (record_.id.empty()) {
        AddJournalRecord(record_);
      } else {
        UpdateJournalRecord(record_);
      }
      const DWORD error = RenameThroughHandle(directory.get(), record_.aside);
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return error;
    }
    return ERROR_ALREADY_EXISTS;
  }

  [[noreturn]] void Refuse(DWORD error) {
    throw EarlierInstallationInUse("the earlier installation cannot be moved aside, " +
                                   base::Utf8FromWide(location_) + ", " + base::SystemMessageUtf8(error));
  }

  // A record read back names a directory aside of its location, or it is
  // not acted on.
  bool Trusted() const {
    if (IsAsideOf(record_.path, record_.aside)) return true;
    log::LogWarn(L"install journal record ignored, " + record_.path + L", " + record_.aside);
    return false;
  }

  std::wstring location_;
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
    const base::UniqueHandle file = OpenEntryItself(record_.path, DELETE | FILE_READ_ATTRIBUTES,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!file) return;
    if (!IsPlainFileAt(file.get(), record_.path)) {
      // A link goes as a link where the system opened it as one; one that
      // was followed (Wine) is left alone with its target.
      if (IsLink(file.get())) DeleteThroughHandle(file.get(), false);
      return;
    }
    record_.aside = FreeAsideLocation(record_.path);
    if (record_.aside.empty()) return;
    AddJournalRecord(record_);
    if (RenameThroughHandle(file.get(), record_.aside) != 0) record_.aside.clear();
  }

  bool Undo() noexcept override {
    const base::UniqueHandle file = OpenAside();
    // Never over something that is at the shortcut's name now.
    if (!file || Exists(record_.path)) return true;
    if (const DWORD error = RenameThroughHandle(file.get(), record_.path); error != 0) {
      log::LogError(L"shortcut not restored, " + record_.path + L", " + base::SystemMessage(error));
      return false;
    }
    log::LogInfo(L"shortcut restored, " + record_.path);
    return true;
  }

  bool Complete() noexcept override {
    const base::UniqueHandle file = OpenAside();
    return !file || DeleteThroughHandle(file.get(), true) == 0;
  }

 private:
  static bool IsLink(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }

  base::UniqueHandle OpenAside() const {
    if (record_.aside.empty() || !IsAsideOf(record_.path, record_.aside)) return {};
    base::UniqueHandle file =
        OpenEntryItself(record_.aside, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0);
    if (file && !IsPlainFileAt(file.get(), record_.aside)) file.reset();
    return file;
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

std::unique_ptr<RecoverableStep> MoveAsideStep(const std::wstring& location) {
  return std::make_unique<MoveAside>(location);
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

void UpgradeSteps::CompleteAll() noexcept {
  try {
    CompleteJournal();
    // Without a record (the journal refused it) only this run knows them.
    for (const auto& step : steps_) {
      if (step->record().id.empty()) step->Complete();
    }
    steps_.clear();
    RemoveCompletedAsides();
  } catch (const std::exception& e) {
    log::LogError(L"removal of the earlier installation failed, " + Text(e));
  }
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
      lines.push_back(L"interrupted installation, earlier installation would be moved back, " + r.aside + L" to " +
                      r.path);
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
