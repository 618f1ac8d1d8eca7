// An installation that nobody watches (/S) and its dry run (/PLAN): the
// first page's set-up and the install job of the windowed installation,
// with views that show nothing, and an exit code for the deployment tool.
//
// Runs on the process's main thread instead of the window; never creates a
// window or a message box and starts no program at the end.
#pragma once

#include "app/exit_code.h"
#include "app/setup_switches.h"

namespace orvek::app {

// How long an unattended run waits for the version verdict before it
// installs, and for the install event's upload before it exits. Each of those
// threads ends by itself within its time-outs (3 s to connect, 5 s for each
// wait for data); these bounds only keep a stuck thread from holding the run.
inline constexpr int kVerdictWaitMs = 15000;
inline constexpr int kReportWaitMs = 15000;

// `switches` must be Unattended(). Logs what it does, ending with one line
// "silent install end, <code> <text>" (or "plan end, ..."). Never throws.
ExitCode RunUnattended(const SetupSwitches& switches) noexcept;

}  // namespace orvek::app
