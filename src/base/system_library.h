// Loading system DLLs without letting a planted copy win.
//
// The installer runs elevated from folders such as Downloads, where anyone can
// drop a DLL named like a system one. The executable imports statically only
// Known DLLs; every other system DLL goes through LoadSystemLibrary.
#pragma once

#include <windows.h>

#include <string>

namespace orvek::base {

// Restricts the process's DLL search to the system folder. Must be the first
// thing the entry point does. SetDefaultDllDirectories is bound at run time:
// unpatched Windows 7 lacks it, and there SetDllDirectoryW(L"") at least drops
// the current directory (LoadSystemLibrary still loads by full path).
// Returns true when the strict system-folder-only mode is in force.
bool RestrictDllSearchPath() noexcept;

// Loads `name` (e.g. L"winhttp.dll") from the system folder only, never from
// the program's folder or the current directory. Returns nullptr on failure
// with the last error set. The caller owns the module (see base::UniqueModule).
HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

// The full path of `name` in the system folder (L"taskkill.exe" =>
// L"C:\\Windows\\system32\\taskkill.exe"). Programs the elevated installer starts
// go by this path: a bare name is looked up in the program's folder and the
// current directory first, where a planted copy may wait. Empty when the
// system folder cannot be read.
std::wstring SystemFolderPath(const wchar_t* name);

}  // namespace orvek::base
