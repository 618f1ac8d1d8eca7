#include "app/exit_code.h"

namespace orvek::app {

std::wstring_view ExitCodeText(ExitCode code) {
  switch (code) {
    case ExitCode::kSuccess: return L"success";
    case ExitCode::kWindowsTooOld: return L"windows too old";
    case ExitCode::kInstallFailed: return L"installation failed";
    case ExitCode::kAnotherInstallRunning: return L"another installer is running";
    case ExitCode::kBadCommandLine: return L"bad command line";
    case ExitCode::kClientRunning: return L"client running";
    case ExitCode::kDiskSpace: return L"too little disk space";
    case ExitCode::kTargetDirectory: return L"target directory cannot be created";
    case ExitCode::kInstallerDamaged: return L"installer file damaged";
    case ExitCode::kPackageRetired: return L"package retired";
    case ExitCode::kLogFile: return L"log file cannot be created";
    case ExitCode::kEarlierInstallationInUse: return L"earlier installation in use";
  }
  return L"unknown";
}

}  // namespace orvek::app
