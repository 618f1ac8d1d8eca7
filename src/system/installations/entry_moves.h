// Moving a held folder's entries one by one, and taking that back.
//
// Windows refuses to move a folder while a program holds it: a file below
// it open without delete sharing, or the folder being a program's current
// folder (a command window left there, an installer started from it). Its
// entries mostly move all the same, so an upgrade moves what it can into a
// folder of its own beside it, descends into the folders that are held
// themselves, and leaves only the held files where they are.
//
// Every walk here goes through handles (handle_operations.h): each entry is
// opened relative to its folder's handle without following a link and
// checked against the listing before anything is done to it, the folders
// written into are created and opened in one step and held without delete
// sharing, and no walk enters more than kMaxTreeDepth levels (tree_walk.h).
// Install worker thread, or the repair before any worker exists.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace orvek::system {

struct EntryMoves {
  // What stayed, relative to the held folder: held files, and the folders
  // that could not be moved whole (their movable entries moved all the same).
  std::vector<std::wstring> held;
  // The first held file that the new installation must write (full path):
  // the walk stopped there, and what it had moved is still moved.
  std::wstring conflict;
};

// Moves every entry of the folder open in `from` (FILE_LIST_DIRECTORY,
// reached at `from_path`) to the same name in the empty folder open in `to`
// (FILE_ADD_FILE and FILE_ADD_SUBDIRECTORY, at `to_path`). A folder that
// cannot be moved is made below `to` and its entries moved in turn; a file
// that cannot be moved stays and is logged as "Cannot delete File <path>",
// unless `must_write(path)` says the new installation writes it. A folder
// deeper than the walk's bound stays whole, logged once.
EntryMoves MoveEntriesInto(HANDLE from, const std::wstring& from_path, HANDLE to, const std::wstring& to_path,
                           const std::function<bool(const std::wstring& path)>& must_write);

// Takes MoveEntriesInto back: every entry below the folder open in `from`
// goes to its place below `to`, into the folders that stayed there; each
// folder of `from` that is empty then goes too (not `from` itself). True
// when nothing is left to move.
bool MoveEntriesBack(HANDLE from, const std::wstring& from_path, HANDLE to, const std::wstring& to_path);

// Removes everything below the folder open in `dir` (at `path`) but the
// entries whose relative paths are `kept`; a kept folder is entered, and
// what was put into it goes. True when nothing else is left.
bool RemoveAllBut(HANDLE dir, const std::wstring& path, const std::vector<std::wstring>& kept);

// Makes each file below `to` read-only whose counterpart (same relative
// path) below `from` is read-only.
void CarryReadOnlyMarks(HANDLE from, const std::wstring& from_path, HANDLE to, const std::wstring& to_path);

}  // namespace orvek::system
