#include "system/installations/install_journal.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>

#include "base/text.h"
#include "base/unicode.h"
#include "log/logs.h"
#include "system/installations/run_owner.h"

namespace orvek::system {
namespace {

constexpr wchar_t kJournalName[] = L"orvek-teacher-install";  // below HKLM\Software

void LogUnavailable(const std::wstring& why) {
  static std::atomic<bool> logged{false};
  if (!logged.exchange(true)) {
    log::LogWarn(L"install journal unavailable, an ended run cannot be taken back, " + why);
  }
}

// Both are asked once: they do not change while the process runs.
const std::wstring& ThisRun() {
  static const std::wstring run = CurrentRunId();
  return run;
}
const std::wstring& ThisAccount() {
  static const std::wstring account = CurrentAccountSid();
  return account;
}

// Also over a journal that an earlier installer left readable for every
// user. A journal that stays so still takes back what a run did.
void RestrictJournal(RegistryKey& journal) {
  try {
    journal.RestrictToAdministrators();
  } catch (const std::exception& e) {
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) {
      log::LogWarn(L"install journal not restricted to administrators, " + base::WideFromUtf8(e.what()));
    }
  }
}

std::optional<RegistryKey> OpenJournal() {
  return RegistryKey::Open(HKEY_LOCAL_MACHINE, kInstallJournalKey, RegistryAccess::kFull);
}

void WriteFields(RegistryKey& key, const JournalRecord& record) {
  key.WriteString(L"kind", record.kind);
  key.WriteString(L"path", record.path);
  if (!record.aside.empty()) key.WriteString(L"aside", record.aside);
  if (!record.root.empty()) key.WriteString(L"root", record.root);
  if (!record.key.empty()) key.WriteString(L"key", record.key);
  key.WriteString(L"completed", record.completed ? L"1" : L"0");
  if (!record.identity.empty()) key.WriteString(L"identity", record.identity);
  if (!record.placeholder.empty()) key.WriteString(L"placeholder", record.placeholder);
  if (!record.aside_identity.empty()) key.WriteString(L"aside_identity", record.aside_identity);
  if (record.held_recorded) {
    std::wstring held;
    for (const std::wstring& path : record.held) held += path + L"|";
    key.WriteString(L"held", held);
    key.WriteString(L"held_recorded", L"1");
  }
  key.WriteString(L"run", record.run);
  key.WriteString(L"account", record.account);
}

// "a|b\c|" => {"a", "b\c"}: no file name holds a "|".
std::vector<std::wstring> SplitHeld(const std::wstring& text) {
  std::vector<std::wstring> paths;
  std::size_t begin = 0;
  for (std::size_t bar = text.find(L'|'); bar != std::wstring::npos; bar = text.find(L'|', begin)) {
    paths.push_back(text.substr(begin, bar - begin));
    begin = bar + 1;
  }
  return paths;
}

// Ten digits: the names sort in the order they were written.
std::wstring RecordName(std::int32_t number) {
  std::wstring digits = std::to_wstring(number);
  return std::wstring(digits.size() < 10 ? 10 - digits.size() : 0, L'0') + digits;
}

void DeleteJournalIfEmpty() {
  std::optional<RegistryKey> journal = OpenJournal();
  if (!journal || !journal->SubKeyNames().empty()) return;
  journal.reset();
  if (std::optional<RegistryKey> software = RegistryKey::Open(HKEY_LOCAL_MACHINE, L"Software",
                                                              RegistryAccess::kFull)) {
    software->DeleteKeyTree(kJournalName);
  }
}

}  // namespace

std::vector<JournalRecord> ReadJournal() {
  std::vector<JournalRecord> records;
  const std::optional<RegistryKey> journal =
      RegistryKey::Open(HKEY_LOCAL_MACHINE, kInstallJournalKey, RegistryAccess::kRead);
  if (!journal) return records;
  std::vector<std::wstring> names = journal->SubKeyNames();
  std::sort(names.begin(), names.end());
  for (const std::wstring& name : names) {
    try {
      const std::optional<RegistryKey> key =
          RegistryKey::Open(HKEY_LOCAL_MACHINE, std::wstring(kInstallJournalKey) + L"\\" + name,
                            RegistryAccess::kRead);
      if (!key) continue;
      JournalRecord record;
      record.id = name;
      record.kind = key->ReadString(L"kind");
      record.path = key->ReadString(L"path");
      record.aside = key->ReadString(L"aside");
      record.root = key->ReadString(L"root");
      record.key = key->ReadString(L"key");
      record.completed = key->ReadString(L"completed") == L"1";
      record.identity = key->ReadString(L"identity");
      record.placeholder = key->ReadString(L"placeholder");
      record.aside_identity = key->ReadString(L"aside_identity");
      record.held_recorded = key->ReadString(L"held_recorded") == L"1";
      record.held = SplitHeld(key->ReadString(L"held"));
      record.run = key->ReadString(L"run");
      record.account = key->ReadString(L"account");
      records.push_back(std::move(record));
    } catch (const std::exception& e) {
      log::LogWarn(L"install journal record unreadable, " + name + L", " + base::WideFromUtf8(e.what()));
    }
  }
  return records;
}

std::optional<RegistryKey> AddJournalRecord(JournalRecord& record) {
  try {
    std::optional<RegistryKey> journal = RegistryKey::Create(HKEY_LOCAL_MACHINE, kInstallJournalKey);
    if (!journal) {
      LogUnavailable(L"the key cannot be created");
      return std::nullopt;
    }
    RestrictJournal(*journal);
    std::int32_t next = 1;
    for (const std::wstring& name : journal->SubKeyNames()) {
      next = std::max(next, base::ParseDecimalInt32(name).value_or(0) + 1);
    }
    const std::wstring id = RecordName(next);
    std::optional<RegistryKey> key =
        RegistryKey::Create(HKEY_LOCAL_MACHINE, std::wstring(kInstallJournalKey) + L"\\" + id);
    if (!key) {
      LogUnavailable(L"a record cannot be created");
      return std::nullopt;
    }
    record.run = ThisRun();
    record.account = ThisAccount();
    WriteFields(*key, record);
    record.id = id;
    return key;
  } catch (const std::exception& e) {
    LogUnavailable(base::WideFromUtf8(e.what()));
    return std::nullopt;
  }
}

void UpdateJournalRecord(const JournalRecord& record) {
  if (record.id.empty()) return;
  try {
    if (std::optional<RegistryKey> key = RegistryKey::Open(
            HKEY_LOCAL_MACHINE, std::wstring(kInstallJournalKey) + L"\\" + record.id, RegistryAccess::kFull)) {
      WriteFields(*key, record);
    }
  } catch (const std::exception& e) {
    LogUnavailable(base::WideFromUtf8(e.what()));
  }
}

std::optional<RegistryKey> OpenJournalRecord(const JournalRecord& record) {
  if (record.id.empty()) return std::nullopt;
  return RegistryKey::Open(HKEY_LOCAL_MACHINE, std::wstring(kInstallJournalKey) + L"\\" + record.id,
                           RegistryAccess::kFull);
}

void RemoveJournalRecord(const JournalRecord& record) {
  if (record.id.empty()) return;
  if (std::optional<RegistryKey> journal = OpenJournal()) journal->DeleteKeyTree(record.id);
  DeleteJournalIfEmpty();
}

RecordTurn TurnOf(const JournalRecord& record) {
  const RecordOwner owner{record.run, record.account,
                          record.kind == L"registry" && record.root == L"HKEY_CURRENT_USER"};
  return DecideRecordTurn(owner, {ThisRun(), ThisAccount(), false}, &ProcessRuns);
}

void CompleteJournal() {
  for (JournalRecord& record : ReadJournal()) {
    if (TurnOf(record) != RecordTurn::kActOn) continue;
    if (record.kind == L"moved" || record.kind == L"shortcut") {
      record.completed = true;
      UpdateJournalRecord(record);
    } else if (std::optional<RegistryKey> journal = OpenJournal()) {
      journal->DeleteKeyTree(record.id);
    }
  }
  DeleteJournalIfEmpty();
}

}  // namespace orvek::system
