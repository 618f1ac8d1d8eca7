// Named-mutex probe: tells whether another process holds a name, and can
// claim the name for the rest of this process's life.
#pragma once

#include <string>

namespace orvek::system {

// Creates (or opens) the mutex `name`, not owned, with default security, and
// returns true exactly when the name existed before the call: it could be
// opened, or opening it was refused (access denied: another account holds
// it). Any other failed creation (a name taken by another kind of object)
// returns false. Nothing is logged.
//
// close_after == true only tests: the handle is closed again, so a name that
// did not exist is gone once the call returns.
// close_after == false also claims: the handle stays open until the process
// ends, so every other process sees the name from now on (that is how a
// second installer knows one is running). The handle is kept in a holder
// that lives as long as the process; nothing ever closes it earlier.
//
// Meant for the UI thread; safe from any thread.
bool MutexExists(const std::wstring& name, bool close_after);

}  // namespace orvek::system
