// Whether the installer runs as the LocalSystem account, as management tools
// run it (configuration managers, start-up scripts of group policy, remote
// deployment tools). Such a run has no user of its own to install for: its
// "current user" is the system account, whose desktop nobody sees and whose
// settings nobody made.
#pragma once

namespace orvek::system {

// True when the user of the process token is LocalSystem (S-1-5-18); a token
// that cannot be read counts as another account.
//
// Wine has no such account, so builds with test seams (the Wine-run twin,
// ORVEK_TEST_SEAMS) also answer true while the environment variable
// ORVEK_TEST_AS_LOCAL_SYSTEM is "1". The product is built without the seam:
// nothing in a user's environment can make it believe it is the system.
bool RunsAsLocalSystem();

}  // namespace orvek::system
