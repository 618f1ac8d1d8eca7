// Where the running installer file is.
#pragma once

#include <windows.h>

#include <string>

namespace orvek::system {

// Full path of the running executable (GetModuleFileNameW), or of `module`
// when one is given, whatever its length: a path beyond 260 characters is
// returned whole rather than cut. Throws base::OsError when the system cannot
// report it. Any thread.
std::wstring GetModulePath(HMODULE module = nullptr);

}  // namespace orvek::system
