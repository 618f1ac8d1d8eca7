// The dry run (/PLAN): what an installation would do on this machine,
// written to the log, with nothing changed. The facts come from the same
// set-up as an installation; the removal guard judges each earlier
// generation's location exactly as the removal would.
#pragma once

#include <cstdint>

#include "app/exit_code.h"
#include "app/install_request.h"

namespace orvek::app {

struct PlanFacts {
  InstallRequest request;          // as the installation would get it
  std::wstring scope_reason;       // why request.scope (ChooseInstallScope)
  std::int32_t verdict = -1;       // FVersionValid after waiting for the check
  bool client_running = false;     // the client's mutex exists
  bool target_space_short = false;  // below the threshold on the target drive
};

// Logs the plan, one "plan, ..." line per item: what an installation that
// ended midway left to take back first (and what it leaves to another run
// or account); the scope and why; the target directory and its free space;
// each earlier generation with its registry key, location, the removal
// guard's verdict (and why it refuses), where it would wait aside until the
// installation is complete and where its app.cfg would be kept; files at
// the target that no entry names, which go aside the same way; the user
// data when
// it would be cleared; the version verdict; the shortcuts and the uninstall
// entry. Reads files and the registry only. Returns the code the
// installation would end with as far as it can be known beforehand (disk
// space, retired package, client running), else kSuccess.
ExitCode LogInstallPlan(const PlanFacts& facts);

}  // namespace orvek::app
