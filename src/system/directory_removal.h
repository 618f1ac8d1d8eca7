// Emptying and removing a directory of an earlier installation, guarded.
//
// The installer runs with administrator rights, but the locations it empties
// come from values any program of the user can write (uninstall entries in
// HKCU, the APPDATA variable). The guard therefore judges the directory that
// would really be walked, after "..", "." and every link along the path are
// resolved, not the text it was given.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace orvek::system {

// The guard's answer for one location.
struct RemovalCheck {
  // The directory the walk would empty, in ordinary form (L"C:\\a\\orvek"),
  // links resolved; empty when the guard stopped before it was known.
  std::wstring final_path;
  // Why the location is refused; empty when it is accepted. E.g.
  // L"the location is a link", L"the location is a drive or share root",
  // L"the path does not contain orvek" (kRefusalNoOrvek).
  std::wstring refusal;

  bool accepted() const noexcept { return refusal.empty(); }
};

// Would DelDir accept `path`, and if not, why. Refuses a path that is not
// absolute, does not name an existing directory, is itself a link (reparse
// point), resolves to a drive or share root, or whose final path (after
// GetFullPathNameW and the links along it) lacks "orvek". Logs nothing,
// changes nothing and throws nothing but std::bad_alloc; any thread.
RemovalCheck CheckRemovalLocation(const std::wstring& path);

// Called by WalkDir for each entry with its full path and attribute word;
// answers true to go on, false to stop the walk.
using WalkAction = std::function<bool(const std::wstring& path, DWORD attributes)>;

// Walks `directory` (searching base + `mask`) in the order the file system
// returns entries, skipping "." and "..". Entries for which
// IsDirectoryEntry holds are recorded in `paths` and, with `recursive`,
// walked in turn; with `directories_only` the action is called for them.
// Everything else is treated as a file: recorded, and given to the action
// unless `directories_only`. A reparse point is never entered. With
// `skip_32_character_names`, directories whose name is exactly 32
// characters long are skipped at the top level. Returns false when the
// action stopped the walk, true otherwise (also when nothing was found).
bool WalkDir(const std::wstring& directory, const WalkAction& action, const std::wstring& mask,
             bool recursive, bool directories_only, std::vector<std::wstring>& paths,
             bool skip_32_character_names);

// Empties `path` after CheckRemovalLocation accepted it, and with
// `remove_itself` removes it too. Files are deleted during the walk (those
// in `filter_list`, full paths as walked, are kept); a link found inside is
// removed as a link, its target never entered; a file that cannot be
// deleted (read-only ones are not made writable) is logged with
// "Cannot delete File <path>" and keeps its directories. Directories are
// removed afterwards, deepest first, where empty.
// Returns false without a log line when `path` is empty or no directory;
// false with "DelDir failed, the dir is not contain orvek, <path>" (and the
// reason, when another than the "orvek" test) when the guard refuses;
// false with "DelDir error, <message>" when a failure was raised; else the
// walk's result. Logs "DelDir <path>" before walking. Never throws.
bool DelDir(const std::wstring& path, const std::vector<std::wstring>* filter_list,
            bool skip_32_character_names, bool remove_itself);

}  // namespace orvek::system
