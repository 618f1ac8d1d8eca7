// The work-item list of an upgrade: every change made on the way from the
// earlier installation to the new one is a step that can be taken back.
//
// Steps run in order. When the installation fails before it is complete,
// they are undone in reverse order and the earlier installation is back as
// it was: its directory moved back, the registry keys and the shortcut that
// its removal deleted restored, the partial new tree removed. Each step
// writes its journal record (install_journal.h) before it acts, so that a
// run which ends midway is undone the same way by the next run. Once the
// installation is complete, the directories moved aside are removed.
//
// A step's own log lines are those of the operation it stands for; taking
// it back or completing it adds lines that say what was restored or
// removed. Install worker thread (and, for the repair, the UI thread before
// any worker exists); the installer mutex keeps other runs away.
#pragma once

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/install_journal.h"

namespace orvek::system {

// An earlier installation's directory could not be moved aside (Windows
// refuses while a file inside is held open): nothing was deleted. what()
// names the location and the system's reason.
class EarlierInstallationInUse : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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

  const JournalRecord& record() const noexcept { return record_; }

 protected:
  JournalRecord record_;
};

// Creates `dir` with its missing parents; undone by removing the first
// directory it created, with everything in it (the partial new tree).
std::unique_ptr<RecoverableStep> CreateDirectoryStep(const std::wstring& dir);

// Where DelDir would empty `location`, moves the directory aside instead
// (aside_rules.h) and puts an empty directory in its place. Logs as DelDir
// does (its refusal, or "DelDir <location>"), then "earlier installation
// moved aside, <location> to <aside>". Refused by the guard or gone: does
// nothing. Throws EarlierInstallationInUse when the directory cannot be
// moved. Undone by emptying and removing what is at the location and moving
// the directory back; completed by removing the directory aside.
std::unique_ptr<RecoverableStep> MoveAsideStep(const std::wstring& location);

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
  // The installation is complete: the journal no longer needs any record
  // but those of directories aside (CompleteJournal), and those, this run's
  // and any an earlier run left, are removed. Never throws.
  void CompleteAll() noexcept;

 private:
  std::vector<std::unique_ptr<RecoverableStep>> steps_;
};

// Before anything else, under the installer mutex: takes back what a run
// that ended midway left in the journal (logging "interrupted installation
// found, taking it back" and what each step restores), and removes the
// directories aside that completed installations could not remove then.
// Never throws; what cannot be done stays recorded for the next run.
void RepairInterruptedInstallation() noexcept;

// What RepairInterruptedInstallation would do, one text per record, for a
// dry run; changes nothing.
std::vector<std::wstring> DescribeInterruptedInstallation();

}  // namespace orvek::system
