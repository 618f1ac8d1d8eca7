// Files and directories reached through handles instead of names, so that
// what was checked is what gets changed: a name swapped for a link between
// a check and an action cannot redirect the action.
//
// Wine 8 cannot open a link as itself: every open follows it, with
// FILE_FLAG_OPEN_REPARSE_POINT and FILE_OPEN_REPARSE_POINT too, and a
// deletion or rename through such a handle (or by name) reaches the link's
// target. Callers therefore compare what they opened with what they
// expected (IsDirectoryAt, the final path, the file identifier), which
// catches a followed link there as well.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/unique_handle.h"

namespace orvek::system {

// Opens `path` for `access` (SYNCHRONIZE is added), sharing `share`, without
// following a link at its last component where the system can (a
// directory opens as such). Invalid, with the last error set, on failure.
base::UniqueHandle OpenEntryItself(const std::wstring& path, DWORD access, DWORD share);

// Opens `name`, an entry of the directory open in `parent` (with
// FILE_LIST_DIRECTORY or FILE_TRAVERSE), relative to that handle, so a
// rename or link anywhere above cannot change which directory it is taken
// from; a link at `name` opens as itself where the system can. Shared for
// everything unless `share` says less. Invalid, with `*error` set to the
// Win32 error, on failure.
base::UniqueHandle OpenChild(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD* error,
                             DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);

// Creates the directory `name` in the directory open in `parent` (with
// FILE_ADD_SUBDIRECTORY), or `path` (a full path) when `parent` is null,
// and opens it in the same step for `access`, shared for reading and
// writing only: nobody can put anything else at its name between its
// creation and its use, nor rename it while the handle is open. Never
// opens what was there before. Invalid, with `*error` set, on failure
// (ERROR_ALREADY_EXISTS when the name is taken).
base::UniqueHandle CreateDirectoryOpen(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD* error);

// The path the system reports for the object open in `handle`, in ordinary
// form (L"C:\\a\\b", L"\\\\srv\\s\\a"); empty when it cannot be had.
std::wstring FinalPathOf(HANDLE handle);

// Whether `handle` holds a real directory (no link) that the system reports
// at `final_path` (ordinary form, letter case ignored).
bool IsDirectoryAt(HANDLE handle, const std::wstring& final_path);

// Whether `handle` holds the entry at `path` itself and not what a link
// there leads to (Wine follows every link): the system reports it at the
// final path of `path`'s folder joined with its name. Letter case ignored.
bool IsEntryAt(HANDLE handle, const std::wstring& path);

// The volume serial number and file index of the object open in `handle`,
// as text ("1A2B3C4D-00000000000004D2"); empty when the system gives none.
// What an upgrade recorded by it is what it moved or made, whatever has
// been renamed since and whatever now stands at its name.
std::wstring FileIdentityOf(HANDLE handle);

// One entry of a directory, as listed through the directory's handle.
struct ListedEntry {
  std::wstring name;
  DWORD attributes = 0;
  std::int64_t id = 0;  // 0 where the file system has no identifiers
};

// Every entry of the directory open in `directory` (with
// FILE_LIST_DIRECTORY), "." and ".." left out. A listing that fails gives
// what was read before.
std::vector<ListedEntry> ListEntries(HANDLE directory);

// What a handle opened by an entry's name holds, compared with the listing.
enum class Opened {
  kListed,  // the object that was listed
  kLink,    // a link, opened as itself
  kOther,   // something else: a name swapped since, or a link Wine followed
};
// `expected_final_path`: the parent's final path, a backslash and the
// entry's name (empty when unknown).
Opened IdentifyOpened(HANDLE handle, const ListedEntry& listed, const std::wstring& expected_final_path);

// Deletes the entry open in `handle` (opened with DELETE) when its last
// handle closes; a link goes as a link, a directory only when empty. With
// `even_read_only` (the handle needs FILE_READ_ATTRIBUTES and
// FILE_WRITE_ATTRIBUTES) a read-only entry is made writable first, and
// read-only again if it still cannot go. Returns 0 or the Win32 error
// (ERROR_DIR_NOT_EMPTY for a directory that holds something).
DWORD DeleteThroughHandle(HANDLE handle, bool even_read_only);

// Sets the read-only mark of the entry open in `handle` (with
// FILE_READ_ATTRIBUTES and FILE_WRITE_ATTRIBUTES). False on failure.
bool MarkReadOnly(HANDLE handle);

// Renames the entry open in `handle` (opened with DELETE) to the full path
// `new_path` on the same volume, never replacing what is there. Returns 0
// or the Win32 error (ERROR_ALREADY_EXISTS when the name is taken).
DWORD RenameThroughHandle(HANDLE handle, const std::wstring& new_path);

}  // namespace orvek::system
