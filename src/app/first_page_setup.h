// What the installer does between the creation of its window and the press
// of the install button: one installer at a time, the machine's description,
// earlier installations, the proposed target and its free space, the package
// version, the client identifier and the version check. Runs on the UI
// thread from the window's creation handler.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/operations.h"
#include "system/registration/install_scope.h"

namespace orvek::app {

// The window's fields shared between the set-up, the install workflow and
// the services. The version verdict is shared with the version check thread
// so that a late answer never writes into a window that is gone.
struct TInstallerFields {
  std::wstring FVersion;
  VersionVerdict FVersionValid = std::make_shared<std::atomic<std::int32_t>>(-1);
  std::wstring FUninstallV49, FUninstallV50;
  HKEY FRootKeyV50 = nullptr;
  // The installer's own entry under HKLM: an all-users installation.
  std::wstring FUninstallAllUsers;
  orvek::system::InstallScope FInstallScope = orvek::system::InstallScope::kCurrentUser;
  std::wstring FInstallScopeReason;  // why that scope (ChooseInstallScope)
  std::wstring FClientId;
  std::wstring FDeviceInfo, FMonitors;
  int FExpandHeight = 0;
};

// The first page as the set-up sees it.
class FirstPageView {
 public:
  virtual ~FirstPageView() = default;
  virtual int WindowWidth() const = 0;
  virtual int WindowHeight() const = 0;
  virtual std::wstring TargetText() const = 0;
  virtual void SetTargetText(const std::wstring& text) = 0;
  virtual void SetVersionCaption(const std::wstring& version) = 0;
  // The free space of the target drive: the red warning with the install
  // button disabled, or the free-space text with it enabled. True when the
  // space is enough.
  virtual bool ShowTargetSpace(double gigabytes) = 0;
  virtual void OpenOptions() = 0;
  // Closes the options panel even while the button's stored look still
  // says it is closed.
  virtual void CloseOptions() = 0;
  // The warning box about the system disk; returns when it is closed.
  virtual void WarnSystemDiskShort() = 0;
  // The program ends without showing the window.
  virtual void EndApplication() = 0;
  // Runs `repair`, which takes back an ended run's trees and can take a
  // while; a window shows itself meanwhile with the text of the removal of
  // an earlier installation, so a person who started it sees it working.
  virtual void ShowWhileRepairing(const std::function<void()>& repair) { repair(); }
};

struct SetUpOptions {
  // A dry run (/PLAN) changes nothing: it leaves what ended runs left in the
  // temporary directory.
  bool dry_run = false;
  // A run without the window (/S, /PLAN) and its /ALLUSERS and /CURRENTUSER;
  // ChooseInstallScope (install_rules.h) says what they mean.
  bool unattended = false;
  bool all_users = false;
  bool current_user = false;
};

// Runs the set-up in its order. A failure raised by a step ends it there and
// reaches the caller (the window shows its message); what earlier steps set
// stays. Right after the installer mutex, an installation that ended midway
// is taken back (system::RepairInterruptedInstallation); a dry run leaves it,
// and what ended runs left in the temporary directory, as they are. The
// scope follows the earlier installations found (ChooseInstallScope) and is
// logged with its reason ("all-users installation, /ALLUSERS", "per-user
// installation, /CURRENTUSER", ...); the proposed target is the folder of the
// earlier installation of that scope before the other scope's.
void SetUpFirstPage(TInstallerFields& fields, FirstPageView& view, const SetUpOptions& options = {});

// True when another installer process holds the installer mutex, in any
// session ("Global\#OrvekTeacherInstall"), or an older installer holds the
// session's own "#OrvekTeacherInstall". The first call claims both names for
// this process until it ends; later calls in the same process give the first
// answer (one process is one installer).
bool AnotherInstallerRuns();

}  // namespace orvek::app
