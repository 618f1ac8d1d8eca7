#include "app/first_page_setup.h"

#include "app/install_rules.h"
#include "log/logs.h"
#include "payload/installer_file.h"
#include "payload/private_temp_folder.h"
#include "system/directories.h"
#include "system/disk_space.h"
#include "system/module_path.h"
#include "system/mutex_probe.h"
#include "system/recoverable_steps.h"
#include "system/temp_directory.h"

namespace orvek::app {
namespace {

constexpr const wchar_t* kInstallerMutex = L"#OrvekTeacherInstall";

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

}  // namespace

bool AnotherInstallerRuns() {
  static const bool another = orvek::system::MutexExists(kInstallerMutex, false);
  return another;
}

void SetUpFirstPage(TInstallerFields& fields, FirstPageView& view, bool dry_run) {
  if (AnotherInstallerRuns()) {
    view.EndApplication();
    return;
  }
  // Only the installer that holds the name may clear what ended runs left
  // behind: another running installer's folder would still be in use. An
  // installation that ended midway is taken back first, so the earlier one
  // is in place again before it is looked for.
  if (!dry_run) {
    orvek::system::RepairInterruptedInstallation();
    orvek::payload::RemoveStalePrivateTempFolders();
  }
  fields.FDeviceInfo = ComputeDeviceInfo();
  fields.FMonitors = GetMonitorIds();
  fields.FVersionValid->store(-1);
  const PreviousInstallations previous = FindPreviousInstallations();
  fields.FUninstallV49 = previous.uninstall_v49;
  fields.FUninstallV50 = previous.uninstall_v50;
  fields.FRootKeyV50 = previous.root_key_v50;
  view.SetTargetText(ChooseTargetDirectory(fields.FUninstallV49, fields.FUninstallV50, ProgramFilesFolder(),
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
