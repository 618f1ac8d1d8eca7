// The current user's temporary directory.
#pragma once

#include <string>

namespace orvek::system {

// The temporary directory exactly as the system reports it (GetTempPathW),
// always ending in a backslash, e.g. L"C:\\Users\\me\\AppData\\Local\\Temp\\".
// Callers append names that begin with a backslash; the doubled separator is
// read as one. Writes nothing to the log (the log facility asks the system
// for the same directory itself). Throws base::OsError in the unlikely case that
// the system reports no directory at all. Any thread.
std::wstring GetTempDirectory();

}  // namespace orvek::system
