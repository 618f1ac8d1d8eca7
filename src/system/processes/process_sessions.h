// Host operations on processes: sessions, accounts, mutexes, ending and starting programs.
//
// Processes and the sessions they run in. A school PC has several sessions
// at once (fast user switching, remote desktop, services and management
// tools in session 0), and the installer runs in one of them: it may end
// what runs in its own session, never what runs in another, and it must
// still notice a client that another session keeps running from the folder
// it is about to replace.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace orvek::system {

// The session of process `pid`; nullopt when it cannot be read (the process
// has ended, or refuses even a limited query).
//
// Wine runs every process in one session, so builds with test seams
// (ORVEK_TEST_SEAMS) report the process whose id is in the environment
// variable ORVEK_TEST_OTHER_SESSION_PID in the session after this process's
// own. The product is built without the seam.
std::optional<DWORD> SessionOfProcess(DWORD pid);

// The session this process runs in.
DWORD OwnSession();

struct ProcessElsewhere {
  DWORD pid = 0;
  std::optional<DWORD> session;  // nullopt: it could not be read
  std::wstring image;            // full path, long form
};

// The first running process outside this process's session (or whose
// session cannot be read) whose image lies in one of `folders` or below
// (ImageInFolder, after each folder is made a full, long path and the image
// a long one); nullopt when there is none. Folders that are empty or not
// absolute are skipped, and so is a process whose image cannot be read.
// Throws base::OsError when no process snapshot can be taken.
std::optional<ProcessElsewhere> FindProgramInOtherSession(const std::vector<std::wstring>& folders);

}  // namespace orvek::system
