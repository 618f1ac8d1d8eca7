#include "app/first_page_setup.h"

#include "app/install_rules.h"
#include "log/logs.h"
#include "payload/installer_file.h"
#include "payload/private_temp_folder.h"
#include "system/files/directories.h"
#include "system/files/disk_space.h"
#include "system/files/temp_directory.h"
#include "system/installations/recoverable_steps.h"
#include "system/processes/local_system.h"
#include "system/processes/module_path.h"
#include "system/processes/mutex_probe.h"

namespace orvek::app {
namespace {

// One installer at a time on the machine: the journal of an upgrade and an
// all-users installation are machine-wide, so a run in another session
// (another teacher, LocalSystem in session 0) must see this one. Installers
// before the machine-wide name claimed only the session's own name; it is
// still tested, and claimed for them to see.
constexpr const wchar_t* kInstallerMutex = L"Global\\#OrvekTeacherInstall";
constexpr const wchar_t* kSessionInstallerMutex = L"#OrvekTeacherInstall";

// The program folder the product installs below. The 32-bit product on
// 64-bit Windows sees the x86 folder as PROGRAMFILES; its 64-bit test twin
// asks for that folder by its own name.
std::wstring ProgramFilesFolder() {
  for (const wchar_t* name : {L"ProgramFiles(x86)", L"PROGRAMFILES"}) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) continue;
    std::wstring value(size, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), size);
    if (n > 0 && n < size) return value.substr(0, n);
  }
  return L"";
}

// A management tool runs the installer as LocalSystem, whose own desktop and
// hive nobody sees, or as an administrator deploying to the whole PC; a
// teacher's run meets what they deployed. None of them may turn the other's
// installation into its own kind.
void DecideInstallScope(TInstallerFields& fields, const SetUpOptions& options) {
  ScopeFacts facts;
  facts.all_users_installation = fields.FUninstallAllUsers;
  if (facts.all_users_installation.empty() && fields.FRootKeyV50 == HKEY_LOCAL_MACHINE) {
    facts.all_users_installation = fields.FUninstallV50;
  }
  facts.local_system = orvek::system::RunsAsLocalSystem();
  facts.all_users_switch = options.all_users;
  facts.current_user_switch = options.current_user;
  facts.unattended = options.unattended;
  const ScopeChoice choice = ChooseInstallScope(facts);
  orvek::log::LogInfo(std::wstring(orvek::system::ScopeName(choice.scope)) + L" installation, " + choice.reason);
  fields.FInstallScope = choice.scope;
  fields.FInstallScopeReason = choice.reason;
}

// The installer's own earlier installation whose folder is proposed: the one
// of this run's scope when its folder exists, else the other scope's.
std::wstring OwnEarlierInstallation(const TInstallerFields& fields) {
  const bool all_users = fields.FInstallScope == orvek::system::InstallScope::kAllUsers;
  const std::wstring& own = all_users ? fields.FUninstallAllUsers : fields.FUninstallV49;
  const std::wstring& other = all_users ? fields.FUninstallV49 : fields.FUninstallAllUsers;
  return !own.empty() && orvek::system::DirectoryExists(own) ? own : other;
}

}  // namespace

bool AnotherInstallerRuns() {
  static const bool another = [] {
    const bool machine = orvek::system::MutexExists(kInstallerMutex, false);
    const bool session = orvek::system::MutexExists(kSessionInstallerMutex, false);
    return machine || session;
  }();
  return another;
}

void SetUpFirstPage(TInstallerFields& fields, FirstPageView& view, const SetUpOptions& options) {
  if (AnotherInstallerRuns()) {
    view.EndApplication();
    return;
  }
  // Only the installer that holds the name may clear what ended runs left
  // behind: another running installer's folder would still be in use. An
  // installation that ended midway is taken back first, so the earlier one
  // is in place again before it is looked for.
  if (!options.dry_run) {
    if (orvek::system::InterruptedInstallationMovesTrees()) {
      view.ShowWhileRepairing([] { orvek::system::RepairInterruptedInstallation(); });
    } else {
      orvek::system::RepairInterruptedInstallation();
    }
    orvek::payload::RemoveStalePrivateTempFolders();
  }
  fields.FDeviceInfo = ComputeDeviceInfo();
  fields.FMonitors = GetMonitorIds();
  fields.FVersionValid->store(-1);
  const PreviousInstallations previous = FindPreviousInstallations();
  fields.FUninstallV49 = previous.uninstall_v49;
  fields.FUninstallV50 = previous.uninstall_v50;
  fields.FRootKeyV50 = previous.root_key_v50;
  fields.FUninstallAllUsers = previous.uninstall_all_users;
  DecideInstallScope(fields, options);
  view.SetTargetText(ChooseTargetDirectory(OwnEarlierInstallation(fields), fields.FUninstallV50, ProgramFilesFolder(),
                                           &orvek::system::DirectoryExists));
  fields.FExpandHeight = ExpandHeight(view.WindowWidth());
  fields.FVersion = orvek::payload::PackageVersionText(
      orvek::payload::ReadPackageVersion(orvek::system::GetModulePath()));
  view.SetVersionCaption(fields.FVersion);

  if (HasTooLittleSpace(orvek::system::GetDiskFreeGB(orvek::system::GetTempDirectory()))) {
    view.WarnSystemDiskShort();
    view.EndApplication();
    return;
  }
  if (view.ShowTargetSpace(orvek::system::GetDiskFreeGB(view.TargetText()))) {
    view.CloseOptions();
    orvek::log::LogInfo(L"FormCreate hide expand");
  } else {
    view.OpenOptions();
    orvek::log::LogInfo(L"FormCreate show expand");
  }
  fields.FClientId = ComputeClientId();
  orvek::log::LogInfo(FormSizeLine(view.WindowWidth(), view.WindowHeight(), fields.FClientId));
  if (!fields.FVersion.empty()) StartVersionCheck(fields.FVersion, fields.FVersionValid);
}

}  // namespace orvek::app
