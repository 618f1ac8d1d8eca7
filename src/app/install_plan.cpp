#include "app/install_plan.h"

#include <windows.h>

#include <optional>
#include <string>

#include "app/install_rules.h"
#include "log/logs.h"
#include "net/service_config.h"
#include "system/files/directories.h"
#include "system/files/directory_removal.h"
#include "system/files/removal_rules.h"
#include "system/files/temp_directory.h"
#include "system/installations/previous_installations.h"
#include "system/installations/recoverable_steps.h"
#include "system/registration/installation_registration.h"
#include "system/registration/registration_names.h"
#include "system/registration/shortcut_folders.h"
#include "system/registry.h"

namespace orvek::app {
namespace {

void Say(const std::wstring& text) { orvek::log::LogInfo(L"plan, " + text); }

std::wstring RootName(HKEY root) {
  return root == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER" : L"HKEY_LOCAL_MACHINE";
}

// What the removal guard would answer for `location`, as one phrase.
std::wstring GuardVerdict(const std::wstring& location) {
  const orvek::system::RemovalCheck check = orvek::system::CheckRemovalLocation(location, true);
  if (check.accepted()) return L"removal accepted, would empty " + check.final_path;
  return L"removal refused, " + check.refusal;
}

// Where an earlier installation at `location` would wait, and where its
// configuration would be kept.
void SayRemoval(const std::wstring& name, const std::wstring& location, const std::wstring& backup_name) {
  const orvek::system::RemovalCheck check = orvek::system::CheckRemovalLocation(location, true);
  if (check.accepted()) {
    Say(name + L" would be moved aside to " + orvek::system::FreeAsideLocation(check.judged_path) +
        L" and removed once the installation is complete");
  }
  const std::wstring config = StripTrailingBackslashes(location) + L"\\app.cfg";
  if (orvek::system::FileExists(config)) {
    Say(name + L" app.cfg would be backed up to " + orvek::system::GetTempDirectory() + L"\\" + backup_name);
  }
}

void SayGeneration(const wchar_t* name, HKEY root, const std::wstring& key, const std::wstring& location,
                   const std::wstring& backup_name) {
  const std::wstring entry = std::wstring(name) + L" " + RootName(root) + L"\\" + key;
  if (location.empty()) return Say(entry + L", not found");
  Say(entry + L", location " + location + L", " + GuardVerdict(location));
  SayRemoval(name, location, backup_name);
}

void SayEarlierGenerations(const InstallRequest& request, const std::wstring& dir) {
  namespace sys = orvek::system;
  SayGeneration(L"v4.9", HKEY_CURRENT_USER, sys::kUninstallKeyV49, request.uninstall_v49,
                ConfigurationBackupName(request.uninstall_v49, dir, L"per-user"));
  SayGeneration(L"v4.9", HKEY_LOCAL_MACHINE, sys::kUninstallKeyV49, request.uninstall_all_users,
                ConfigurationBackupName(request.uninstall_all_users, dir, L"all-users"));
  if (!OtherScopeInstallation(request).empty()) {
    const sys::InstallScope other = sys::OtherScope(request.scope);
    Say(std::wstring(sys::ScopeName(other)) + L" installation would be replaced, its entry " +
        RootName(sys::RegistrationRoot(other)) + L"\\" + sys::kRegistrationKey + L" and its shortcuts removed");
  }
  SayGeneration(L"v5.0", request.root_key_v50, sys::kUninstallKeyV50, request.uninstall_v50,
                ConfigurationBackupName(request.uninstall_v50, dir, L"v5.0"));
  if (!request.uninstall_v50.empty()) {
    const std::wstring root = RootName(request.root_key_v50) + L"\\";
    Say(L"v5.0 registry keys would be deleted, " + root + sys::kUninstallParentV50 + L"\\" +
        sys::kProductKeyV50 + L", " + root + L"Software\\" + sys::kProductKeyV50);
  }
  // As the job decides (install_job.cpp): files at the target that no entry
  // names.
  for (const std::wstring* location : {&request.uninstall_v49, &request.uninstall_all_users, &request.uninstall_v50}) {
    if (SameDirectory(*location, dir)) return;
  }
  if (!sys::HoldsAnything(dir)) return;
  Say(L"earlier installation at the target, " + dir + L", " + GuardVerdict(dir));
  SayRemoval(L"the earlier installation at the target", dir, sys::kConfigurationBackup);
}

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, value, static_cast<DWORD>(std::size(value)));
  return n > 0 && n < std::size(value) ? std::wstring(value, n) : std::wstring();
}

void SayRegistration(const InstallRequest& request, const std::wstring& dir) {
  namespace sys = orvek::system;
  const std::wstring link_name = std::wstring(sys::kShortcutName) + L".lnk";
  std::wstring desktop, programs;
  // Opened, never created: the plan changes nothing.
  const sys::ShortcutFolders folders(request.scope);
  try {
    desktop = folders.Value(sys::ShortcutFolder::kDesktop);
    programs = folders.Value(sys::ShortcutFolder::kPrograms);
  } catch (const std::exception&) {
    // Reported below as an unknown folder, as the registration would skip it.
  }
  if (request.add_desktop) {
    Say(desktop.empty() ? L"desktop folder unknown, no desktop shortcut"
                        : L"shortcut " + desktop + L"\\" + link_name);
  }
  if (const std::wstring drive = sys::DrivePart(dir + L"\\uninstall.exe"); !drive.empty()) {
    Say(L"shortcut " + drive + L"\\" + link_name);
  }
  if (request.add_start_menu) {
    if (programs.empty()) {
      Say(L"programs folder unknown, no start-menu shortcuts");
    } else {
      Say(L"shortcut " + programs + L"\\Orvek\\" + link_name);
      Say(L"shortcut " + programs + L"\\Orvek\\卸载" + link_name);
    }
  }
  Say(L"uninstall entry " + RootName(sys::RegistrationRoot(request.scope)) + L"\\" + sys::kRegistrationKey +
      L", UninstallString " + dir + L"\\uninstall.exe, DisplayName " + sys::kShortcutName +
      L", DisplayIcon " + dir + L"\\orvekclient.exe, Publisher Orvek教育科技股份有限公司, UrlInfoAbout " +
      orvek::net::kWebSiteHome + L", DisplayVersion " + sys::DisplayVersion(request.version) + L", InstallLocation " + dir +
      L", EstimatedSize of the installed tree, NoModify 1, NoRepair 1");
}

std::wstring VerdictText(std::int32_t verdict) {
  if (verdict == 0) return L"retired, the installation would be refused";
  if (verdict == -1) return L"no answer, allowed";
  return L"allowed (" + std::to_wstring(verdict) + L")";
}

}  // namespace

ExitCode LogInstallPlan(const PlanFacts& facts) {
  const InstallRequest& request = facts.request;
  for (const std::wstring& line : orvek::system::DescribeInterruptedInstallation()) Say(line);
  const std::wstring dir = InstallDirectory(request.target_text);
  Say(std::wstring(orvek::system::ScopeName(request.scope)) + L" installation, " + facts.scope_reason);
  Say(L"target directory " + dir +
      (orvek::system::DirectoryExists(dir) ? L", exists" : L", would be created"));
  Say(L"free space " + FreeSpaceValue(request.free_space_label) +
      (facts.target_space_short ? L", too little, the installation would be refused" : L""));
  SayEarlierGenerations(request, dir);
  if (request.clear_data) {
    const std::wstring user_data = EnvironmentValue(L"APPDATA") + L"\\orvekclient\\";
    Say(L"user data " + user_data + L", " + GuardVerdict(user_data));
  }
  Say(L"version " + request.version + L", " + VerdictText(facts.verdict));
  if (facts.client_running) Say(L"client running, the installation would stop until it is closed");
  SayRegistration(request, dir);

  if (facts.target_space_short) return ExitCode::kDiskSpace;
  if (facts.verdict == 0) return ExitCode::kPackageRetired;
  if (facts.client_running) return ExitCode::kClientRunning;
  return ExitCode::kSuccess;
}

}  // namespace orvek::app
