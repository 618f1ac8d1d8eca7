// Host operations on files: directories and their removal, walks, free space, the temp folder.
//
// Emptying and removing a directory of an earlier installation, guarded.
//
// The installer runs with administrator rights, but the locations it empties
// come from values any program of the user can write (uninstall entries in
// HKCU, the APPDATA variable). The guard therefore judges the directory that
// would really be walked, after "..", "." and every link along the path are
// resolved, not the text it was given.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace orvek::system {

// The guard's answer for one location.
struct RemovalCheck {
  // The directory the walk would empty, in ordinary form (L"C:\\a\\orvek"),
  // links resolved; empty when the guard stopped before it was known.
  std::wstring final_path;
  // The path the location is judged and recorded by (JudgedPath of
  // removal_rules.h); empty when the guard stopped before it was known.
  std::wstring judged_path;
  // Why the location is refused; empty when it is accepted. E.g.
  // L"the location is a link", L"the location is a drive or share root",
  // L"the path does not contain orvek" (kRefusalNoOrvek).
  std::wstring refusal;

  bool accepted() const noexcept { return refusal.empty(); }
};

// Would DelDir accept `path`, and if not, why. Refuses a path that is not
// absolute, does not name an existing directory, is itself a link (reparse
// point), resolves to a drive or share root, or whose final path (after
// GetFullPathNameW and the links along it) lacks "orvek". With
// `earlier_installation`, also one on a share. Logs nothing, changes
// nothing and throws nothing but std::bad_alloc; any thread.
RemovalCheck CheckRemovalLocation(const std::wstring& path, bool earlier_installation = false);

// The start DelDir makes for `path`, shared with the removals that move a
// directory aside first: nothing for an empty path or no directory (no
// line); else the guard's refusal logged as "DelDir failed, the dir is not
// contain orvek, <path>" (with the reason, when another than the "orvek"
// test) and nothing; else "DelDir <path>" logged and the final path to act
// on. Throws only std::bad_alloc.
std::optional<std::wstring> AcceptRemoval(const std::wstring& path);

// AcceptRemoval for the folder of an earlier installation that an upgrade
// moves aside: a share is refused too, and the answer is the judged path,
// which the install journal keeps.
std::optional<std::wstring> AcceptEarlierInstallation(const std::wstring& path);

// The guard's refusal line for `path`, as AcceptRemoval writes it.
void LogRemovalRefusal(const std::wstring& path, const std::wstring& refusal);

// Empties `path` after CheckRemovalLocation accepted it, and with
// `remove_itself` removes it too, walking through handles
// (tree_removal.h). Files are deleted during the walk (those in
// `filter_list`, full paths as walked, are kept); a link found inside is
// removed as a link, its target never entered; a file that cannot be
// deleted (read-only ones are not made writable) is logged with
// "Cannot delete File <path>" and keeps its directories. Directories are
// removed deepest first, where empty.
// Returns false without a log line when `path` is empty or no directory;
// false with "DelDir failed, the dir is not contain orvek, <path>" (and the
// reason, when another than the "orvek" test) when the guard refuses;
// false with "DelDir error, <message>" when a failure was raised; else
// true. Logs "DelDir <path>" before walking. Never throws.
bool DelDir(const std::wstring& path, const std::vector<std::wstring>* filter_list,
            bool skip_32_character_names, bool remove_itself);

}  // namespace orvek::system
