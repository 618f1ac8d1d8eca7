// Directory paths and existence tests without the weight of std::filesystem,
// whose runtime pulls dozens of extra imports into the product.
#pragma once

#include <string>

namespace orvek::system {

// Creates `dir` and every missing parent. The outcome of each step is not
// looked at: callers check DirectoryExists, or find out when they create a
// file in it. "C:\a\\b" (doubled separators) works as Windows reads it.
void CreateDirectories(const std::wstring& dir);

// The absolute form of `path` with "." and ".." resolved (GetFullPathNameW:
// a relative path is taken from the current directory); empty on failure.
std::wstring FullPath(const std::wstring& path);

// True for an existing directory (a link to one counts).
bool DirectoryExists(const std::wstring& path);

// True for an existing directory with at least one entry in it.
bool HoldsAnything(const std::wstring& directory);

// True for an existing file that is not a directory.
bool FileExists(const std::wstring& path);

// True when `path` itself is a link (a reparse point: junction, symbolic
// link, mount point), whatever it points at.
bool IsLink(const std::wstring& path);

// Deletes the file at `path` when there is one; a failure is not reported
// (a shortcut that cannot go is saved over or left, as its caller decides).
void DeleteFileIfPresent(const std::wstring& path);

}  // namespace orvek::system
