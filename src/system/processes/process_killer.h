// Ending running processes by image name, the way the installer clears the
// client application out of the way before it overwrites its files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace orvek::system {

// Ids of the running processes of the caller's own session whose image name
// matches `image_name` by ImageNameMatches (case of ASCII letters ignored),
// in snapshot order. A process of another session, or one whose session
// cannot be read, is never among them, nor is the calling process, even
// when it has that image name.
// Throws base::OsError when no process snapshot can be taken.
std::vector<DWORD> FindProcessIdsByName(const std::wstring& image_name);

// Starts the system folder's "taskkill.exe /f /pid N", hidden, for every process FindProcessIdsByName
// returns, one taskkill per process. Does not wait for them and does not look
// at whether they could be started or did their work, so the processes may
// still be ending when it returns. Nothing is started when nothing matches.
// Never throws: a failure ends the walk and is logged as "kill task error, ".
// UI thread.
void KillProcessByName(const std::wstring& image_name);

}  // namespace orvek::system
