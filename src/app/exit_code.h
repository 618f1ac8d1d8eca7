// The process exit codes of an unattended run (/S, /PLAN), one per outcome,
// as deployment tools read them. The README's table for administrators lists
// the same values; keep both in step.
//
// Append only: deployment scripts compare against these numbers, so a value
// is never reused or renumbered. Where Windows or its installer service has a
// code with the same meaning, that code is used, so that a deployment console
// shows its usual text ("net helpmsg 1618"). The installer's own codes are
// 4601 and up, a block the Windows error tables leave unused, so no console
// puts a misleading system text beside them.
#pragma once

#include <string_view>

namespace orvek::app {

enum class ExitCode : int {
  kSuccess = 0,
  kWindowsTooOld = 1150,          // ERROR_OLD_WIN_VERSION: Windows XP and older
  kInstallFailed = 1603,          // ERROR_INSTALL_FAILURE: any other failure
  kAnotherInstallRunning = 1618,  // ERROR_INSTALL_ALREADY_RUNNING
  kBadCommandLine = 1639,         // ERROR_INVALID_COMMAND_LINE
  kClientRunning = 4601,          // the client is running; close it and retry
  kDiskSpace = 4602,              // below 0.8 GB free on the target or temp drive
  kTargetDirectory = 4603,        // the target directory cannot be created
  kInstallerDamaged = 4604,       // payload offset refused or archive unreadable
  kPackageRetired = 4605,         // the version service retired this package
  kLogFile = 4606,                // the /LOG= file cannot be created
  kEarlierInstallationInUse = 4607,  // a file of the earlier installation is held open
};

// A short English name for the log line that ends a run:
// ExitCode::kDiskSpace => L"too little disk space".
std::wstring_view ExitCodeText(ExitCode code);

}  // namespace orvek::app
