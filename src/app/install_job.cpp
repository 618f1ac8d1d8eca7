#include "app/install_job.h"

#include <windows.h>

#include <exception>

#include "app/install_rules.h"
#include "app/operations.h"
#include "base/text.h"
#include "base/unicode.h"
#include "log/logs.h"
#include "system/directories.h"
#include "system/mutex_probe.h"
#include "system/process_killer.h"

namespace orvek::app {
namespace {

constexpr const wchar_t* kUninstalling = L"正在卸载旧版本...";

// Creates `dir` with every missing parent; false when it is not a directory
// afterwards (an empty text never is).
bool CreateInstallDirectory(const std::wstring& dir) {
  if (dir.empty()) return false;
  try {
    orvek::system::CreateDirectories(dir);
  } catch (const std::exception&) {
    return false;
  }
  return orvek::system::DirectoryExists(dir);
}

bool SameDirectory(const std::wstring& a, const std::wstring& b) {
  return orvek::base::SameText(StripTrailingBackslashes(a), StripTrailingBackslashes(b));
}

// An installation found in the other scope is removed and replaced like any
// earlier one; the log says so, as it is not what the run was asked for.
void LogScopeReplacement(const InstallRequest& request) {
  const std::wstring& other = OtherScopeInstallation(request);
  if (other.empty()) return;
  orvek::log::LogInfo(std::wstring(orvek::system::ScopeName(orvek::system::OtherScope(request.scope))) +
                      L" installation found, replaced by this " + orvek::system::ScopeName(request.scope) +
                      L" installation, " + other);
}

void Install(const InstallRequest& request, InstallView& view) {
  const std::wstring dir = InstallDirectory(request.target_text);
  if (!CreateInstallDirectory(dir)) {
    view.ShowPage(tpInstallFailed, kBadDirectoryText, true);
    orvek::log::LogError(L"mkdir install path error, " + dir);
    return;
  }
  // Earlier generations log their own failures and never fail the installation.
  LogScopeReplacement(request);
  if (!request.uninstall_v49.empty()) {
    RemoveInstallationV49(request.uninstall_v49, [&] { view.SetProgressText(kUninstalling); });
  }
  // The installer's own entry under HKLM: removed the same way.
  if (!request.uninstall_all_users.empty() && !SameDirectory(request.uninstall_all_users, request.uninstall_v49)) {
    RemoveInstallationV49(request.uninstall_all_users, [&] { view.SetProgressText(kUninstalling); });
  }
  if (!request.uninstall_v50.empty()) {
    RemoveInstallationV50(request.uninstall_v50, request.root_key_v50);
  }
  view.SetProgressText(kInstallingText);

  orvek::payload::PayloadHooks hooks;
  hooks.show_error_page = [&](const std::wstring& text) { view.ShowPage(tpInstalling, text, true); };
  hooks.show_progress = [&](std::int32_t percent) { view.ShowProgress(percent); };
  hooks.after_extract = [&] {
    if (request.clear_data) ClearUserData();
  };
  // The temporary archive lives in the stretch's private folder, which is
  // gone when it returns.
  if (!orvek::payload::ExtractPayload(request.payload, dir, hooks)) return;
  RegisterInstallation(request, dir);

  view.ShowPage(tpInstallFinished, L"", false);
  view.SetEnvCheckVisible(orvek::system::FileExists(dir + kEnvCheckTool));
  if (RequestsUpdaterRemoval(request.payload.installer_path)) {
    ::DeleteFileW((dir + L"\\update.exe").c_str());
  }
  addPublicLog(request, L".def.app.install", L"应用安装", L"OTHER",
               InstallExtraData(request.target_text, request.free_space_label));
  orvek::log::LogInfo(L"install ok.");
}

}  // namespace

void RunInstallJob(const InstallRequest& request, InstallView& view) noexcept {
  try {
    Install(request, view);
  } catch (const std::exception& e) {
    orvek::log::LogError(L"install failed, " + orvek::base::WideFromUtf8(e.what()));
    view.ShowPage(tpInstallFailed, kInstallFailedText, true);
  } catch (...) {
    orvek::log::LogError(L"install failed, unknown failure");
    view.ShowPage(tpInstallFailed, kInstallFailedText, true);
  }
}

bool ClientRuns() { return orvek::system::MutexExists(L"#OrvekTeacher", true); }

void EndClientProcesses() {
  for (const wchar_t* image : {L"orvekclient.exe", L"orvekteacher.exe", L"logHelper.exe"}) {
    orvek::system::KillProcessByName(image);
  }
}

}  // namespace orvek::app
