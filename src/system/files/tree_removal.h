// Emptying a directory tree through handles, so that whoever can write in
// the tree cannot turn the elevated walk into a folder of their choosing.
//
// A walk by names checks an entry when it lists its directory and opens it
// by name later; in between a subdirectory can be replaced by a junction to
// a system folder. Here each directory is opened without following a link
// and listed through its handle, each entry is opened relative to its
// parent's handle, again without following a link, and deleted through its
// own handle. An entry is entered or deleted only when the object opened is
// the one that was listed (same file identifier, same final path): a name
// that has become a link by then is removed as a link, never entered.
//
// Wine 8 cannot open a link as itself (handle_operations.h), so a link in
// the tree can only be left in place there; it is logged like any entry
// that stays, and its target is never touched.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/unique_handle.h"

namespace orvek::system {

struct TreeRemovalOptions {
  // Full paths of files to keep, as the walk spells them (root final path,
  // a backslash, the names below it).
  const std::vector<std::wstring>* keep = nullptr;
  // Leaves alone the directories directly below the root whose name is
  // exactly 32 characters long.
  bool skip_32_character_names = false;
  // The tree is the installer's own (a directory it created or moved aside):
  // every real directory in it is entered, and read-only files and
  // directories are made writable to go too. Otherwise only directories
  // whose attribute word IsDirectoryEntry accepts are entered, and a
  // read-only file stays.
  bool own_tree = false;
  // Removes the root itself too, once it is empty.
  bool remove_root = false;
};

// Empties the directory whose final path (ordinary form, as the removal
// guard reports it) is `final_path`. Files go during the walk, each
// directory as soon as it is empty; an entry that stays (held open,
// read-only, a link that cannot be removed as one, a directory outside the
// attribute table, a name swapped while the walk ran) is logged as
// "Cannot delete File <path>" and keeps its directories; a directory that
// still holds something stays without a line. False, with nothing deleted,
// when the root is not a real directory at `final_path` any more; true
// otherwise. Throws only std::bad_alloc and base::OsError (ntdll unusable).
bool RemoveTreeThroughHandles(const std::wstring& final_path, const TreeRemovalOptions& options);

// Empties the directory open in `root` (with FILE_LIST_DIRECTORY,
// FILE_READ_ATTRIBUTES, and DELETE and FILE_WRITE_ATTRIBUTES as `options`
// need), reached at `path`, as RemoveTreeThroughHandles does, for a caller
// that has already proven what it opened. The walk enters at most
// kMaxTreeDepth levels (tree_walk.h); below that nothing is touched and one
// line says so ("tree deeper than ..."), and then the result is false.
bool RemoveTreeAt(base::UniqueHandle root, const std::wstring& path, const TreeRemovalOptions& options);

// Tests only: called on the walking thread after each directory has been
// listed and before anything in it is opened, with its path (ending in a
// backslash). Empty to switch it off.
void SetTreeWalkPauseForTesting(std::function<void(const std::wstring& directory)> pause);

}  // namespace orvek::system
