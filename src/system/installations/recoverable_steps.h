// The work-item list of an upgrade: every change made on the way from the
// earlier installation to the new one is a step that can be taken back.
//
// Steps run in order. When the installation fails before it is complete,
// they are undone in reverse order and the earlier installation is back as
// it was: its directory moved back, the registry keys and the shortcut that
// its removal deleted restored, the partial new tree removed. Each step
// writes its journal record (install_journal.h) before it acts, so that a
// run which ends midway is undone the same way by the next run; an undo acts
// only on what has the file identity its record keeps. Once the new tree is
// complete, the journal is closed and the directories moved aside are
// removed.
//
// A step's own log lines are those of the operation it stands for; taking
// it back or completing it adds lines that say what was restored or
// removed. Install worker thread (and, for the repair, the UI thread before
// any worker exists); the installer mutex keeps other runs away.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/installations/install_journal.h"

namespace orvek::system {

// An earlier installation's directory could not be moved aside (Windows
// refuses while a file inside is held open): nothing was deleted. what()
// names the location and the system's reason.
class EarlierInstallationInUse : public std::runtime_error {
 public:
  explicit EarlierInstallationInUse(const std::string& what, std::wstring holders = {})
      : std::runtime_error(what), holders_(std::move(holders)) {}
  // The programs that hold it, where the system can say ("name (pid)", ...).
  const std::wstring& holders() const noexcept { return holders_; }

 private:
  std::wstring holders_;
};

class RecoverableStep {
 public:
  explicit RecoverableStep(JournalRecord record) : record_(std::move(record)) {}
  virtual ~RecoverableStep() = default;

  // Makes the change, its record written first. Throws on failure; what was
  // done by then is taken back by Undo.
  virtual void Do() = 0;
  // Takes back what Do did, as far as it got (nothing when it did nothing).
  // True when nothing is left to take back. Never throws.
  virtual bool Undo() noexcept = 0;
  // The installation is complete: removes what was kept for taking the step
  // back. True when nothing is left. Never throws.
  virtual bool Complete() noexcept { return true; }
  // The new tree at `dir` is extracted: a file it wrote again over one
  // this step keeps aside gets that one's read-only mark back.
  virtual void KeepReadOnlyMarks(const std::wstring& /*dir*/) noexcept {}

  const JournalRecord& record() const noexcept { return record_; }

 protected:
  JournalRecord record_;
};

// Creates `dir` with its missing parents; undone by removing the first
// directory it created (recorded by its identity, whatever its name), with
// everything in it (the partial new tree).
std::unique_ptr<RecoverableStep> CreateDirectoryStep(const std::wstring& dir);

// Where DelDir would empty `location` (and not on a share), moves the
// directory aside instead (aside_rules.h) and puts an empty directory in
// its place. Logs as DelDir does (its refusal, or "DelDir <location>"),
// then "earlier installation moved aside, <location> to <aside>". Refused
// by the guard or gone: does nothing. When a program holds the directory
// (Windows refuses to move it), its entries are moved one by one into a
// directory made beside it ("... moved aside entry by entry, ..."), and a
// held file stays, logged as "Cannot delete File <path>"; unless
// `must_write(path)` says the new installation writes that file: then it
// throws EarlierInstallationInUse (naming the holder where the system can)
// and the undo moves everything back. Throws a plain failure when every
// aside name is taken (nothing changed). Undone, and completed, only on
// what has the identity it recorded: the undo removes what this run put
// at the location and moves the directory (or its entries) back; the
// completion removes the directory aside.
std::unique_ptr<RecoverableStep> MoveAsideStep(const std::wstring& location,
                                               std::function<bool(const std::wstring&)> must_write = nullptr);

// Where MoveAsideStep would move the directory whose final path is
// `final_path` now: the first name of aside_rules.h that is free; empty when
// none is.
std::wstring FreeAsideLocation(const std::wstring& final_path);

// Where there is a shortcut at `path`, renames it aside (aside_rules.h), as
// deleted; undone by renaming it back where nothing is at `path` then,
// completed by deleting it. A link at `path` is deleted as a link where the
// system can open one as itself, else left alone.
std::unique_ptr<RecoverableStep> MoveShortcutAsideStep(const std::wstring& path);

// DeleteRegistryKey(parent, key, root), after copying the key into the
// journal; undone by copying it back.
std::unique_ptr<RecoverableStep> DeleteRegistryKeyStep(HKEY root, const std::wstring& parent,
                                                       const std::wstring& key);

class UpgradeSteps {
 public:
  UpgradeSteps() = default;
  UpgradeSteps(const UpgradeSteps&) = delete;
  UpgradeSteps& operator=(const UpgradeSteps&) = delete;

  // Runs `step` and keeps it, also when its Do throws (the failure goes on
  // to the caller).
  void Run(std::unique_ptr<RecoverableStep> step);
  // Undoes the kept steps, the last first. Never throws.
  void UndoAll() noexcept;
  // The new tree at `dir` is extracted: read-only marks of the files it
  // replaced are put back (RecoverableStep::KeepReadOnlyMarks).
  void KeepReadOnlyMarks(const std::wstring& dir) noexcept;
  // The new tree is complete: the journal no longer needs any record but
  // those of what is kept aside (CompleteJournal); from now on nothing is
  // taken back, by this run or by a later one. Never throws.
  void CloseJournal() noexcept;
  // After CloseJournal: removes what is kept aside, this run's and any an
  // earlier run left. Never throws.
  void RemoveAsides() noexcept;
  // After CloseJournal: whether RemoveAsides has anything to remove, so
  // that the page says so only when it has. Never throws.
  bool AsidesWait() const noexcept;
  // CloseJournal, then RemoveAsides.
  void CompleteAll() noexcept;

 private:
  std::vector<std::unique_ptr<RecoverableStep>> steps_;
  std::vector<std::unique_ptr<RecoverableStep>> unrecorded_;
};

// Before anything else, under the installer mutex: takes back what a run
// that ended midway left in the journal (logging "interrupted installation
// found, taking it back" and what each step restores), and removes the
// directories aside that completed installations could not remove then.
// Never throws; what cannot be done stays recorded for the next run.
void RepairInterruptedInstallation() noexcept;

// Whether RepairInterruptedInstallation has a directory to move back or
// remove (which can take a while); reads the journal only.
bool InterruptedInstallationMovesTrees();

// What RepairInterruptedInstallation would do, one text per record, for a
// dry run; changes nothing.
std::vector<std::wstring> DescribeInterruptedInstallation();

}  // namespace orvek::system
