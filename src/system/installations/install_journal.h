// What an installation in progress has changed on its way from the earlier
// version to the new one, kept in the registry so that a run which ends
// midway (the window closed, the PC switched off, the process killed) is
// taken back by the next run.
//
// HKEY_LOCAL_MACHINE\Software\orvek-teacher-install in the 32-bit view:
// only administrators can write there, and the next run acts on what it
// reads with administrator rights. One subkey per record, named by an
// ascending number, written before the change it describes:
//
//   kind "created"   path: the first directory the installation created
//   kind "moved"     path: an earlier installation's directory (final path),
//                    aside: where it was moved; completed: "1" once an
//                    installation completed after it
//   kind "shortcut"  path: a deleted shortcut, aside: where it was renamed;
//                    completed as for "moved"
//   kind "registry"  root ("HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE"),
//                    path: the parent key, key: the deleted subkey; the
//                    record's subkey "saved" holds a copy of it
//
// Each record of a directory or shortcut also keeps the file identity
// (volume serial and file index, handle_operations.h) of what it stands for:
// "identity" of the directory created, moved or the shortcut renamed;
// "placeholder" of the empty directory put in a moved directory's place;
// for a directory moved entry by entry (a program held it), "aside_identity"
// of the directory made to take its entries and, once they are moved,
// "held": the paths below it that stayed, each followed by a "|", and
// "held_recorded" "1". An
// aside is recorded only once the rename to it has succeeded. The undo and
// the repair act only on what has the recorded identity.
//
// Every record also names its owner (journal_owner_rules.h): run, the run
// that wrote it ("<process id>:<creation time>"), and account, that run's
// SID. Only administrators and SYSTEM can open the journal: the saved
// copies are other accounts' settings.
//
// A record goes once its change has been taken back or, for "moved", once
// the directory aside is gone; the journal's key goes with its last record.
// All functions run on one thread at a time (the installer mutex's holder)
// and never throw: a registry that refuses is logged once per process and
// the installation goes on without a record.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "system/installations/journal_owner_rules.h"
#include "system/registry.h"

namespace orvek::system {

inline constexpr wchar_t kInstallJournalKey[] = L"Software\\orvek-teacher-install";

struct JournalRecord {
  std::wstring id;  // the record's subkey; empty while it is not written
  std::wstring kind;
  std::wstring path, aside, root, key;
  bool completed = false;
  std::wstring identity, placeholder, aside_identity;
  std::vector<std::wstring> held;  // relative to path
  bool held_recorded = false;
  // Filled in by AddJournalRecord; empty in records of earlier installers.
  std::wstring run, account;
};

// Whether this run may act on `record`: take it back, complete it, remove
// it (journal_owner_rules.h).
RecordTurn TurnOf(const JournalRecord& record);

// Every record, oldest first; empty when there is no journal.
std::vector<JournalRecord> ReadJournal();

// Writes `record` as the newest record of this run and account, sets its
// id, run and account and returns its key for more data; nullopt when it
// could not be written.
std::optional<RegistryKey> AddJournalRecord(JournalRecord& record);

// Rewrites the fields of a written record (a new `aside`).
void UpdateJournalRecord(const JournalRecord& record);

// The key of a written record, for reading its data; nullopt when gone.
std::optional<RegistryKey> OpenJournalRecord(const JournalRecord& record);

// Removes a written record, and the journal when it was the last.
void RemoveJournalRecord(const JournalRecord& record);

// An installation completed: every "moved" and "shortcut" record is marked
// completed (what it keeps aside is no longer needed) and every other
// record goes, those of runs that ended earlier included, which this
// installation replaced. Records this run may not act on (TurnOf) stay as
// they are.
void CompleteJournal();

}  // namespace orvek::system
