// Taking back what an installation of one scope registered, when a run
// installs in the other scope and replaces it: a per-user run over an
// all-users installation, or an all-users run over the running account's
// per-user one. Left in place, both entries would show in the list of
// installed programs and both sets of shortcuts on the desktop.
#pragma once

#include "system/registration/install_scope.h"

namespace orvek::system {

// Deletes the uninstall entry "orvek-teacher" below RegistrationRoot(scope)
// and the desktop and start-menu shortcuts in the scope's folders (the
// start-menu folder "Orvek" too when nothing else is left in it; a folder
// that is a link is not entered). The drive-root shortcut belongs to the
// removed installation (RemoveInstallationV49). Logs
// "<scope> registration removed, <root>\<key>"; a failure is logged as
// "registration removal error, <message>". Never throws.
void RemoveRegistration(InstallScope scope);

}  // namespace orvek::system
