#include "app/install_job.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/install_rules.h"
#include "app/operations.h"
#include "base/text.h"
#include "base/unicode.h"
#include "log/logs.h"
#include "system/files/directories.h"
#include "system/installations/recoverable_steps.h"
#include "system/installations/upgrade_seams.h"
#include "system/processes/mutex_probe.h"
#include "system/processes/process_killer.h"
#include "system/processes/process_sessions.h"

namespace orvek::app {
namespace {

constexpr const wchar_t* kUninstalling = L"正在卸载旧版本...";

// Whether the new installation writes the file at `path`. The payload's
// list is read only when a held earlier installation asks: it takes a copy
// of the archive.
std::function<bool(const std::wstring&)> PayloadWrites(const InstallRequest& request, const std::wstring& dir) {
  auto files = std::make_shared<std::optional<std::vector<std::wstring>>>();
  return [files, source = request.payload, dir](const std::wstring& path) {
    if (!*files) {
      std::vector<std::wstring> listed = orvek::payload::ListPayloadFiles(source);
      for (std::wstring& file : listed) std::replace(file.begin(), file.end(), L'/', L'\\');
      *files = std::move(listed);
    }
    return std::any_of((*files)->begin(), (*files)->end(), [&](const std::wstring& file) {
      return orvek::base::SameText(dir + L"\\" + file, path);
    });
  };
}

// The page text for an earlier installation that a program holds, naming
// the program where the system could.
std::wstring InUseText(const orvek::system::EarlierInstallationInUse& e) {
  if (e.holders().empty()) return kEarlierInstallationInUseText;
  return L"旧版本的文件正被其他程序（" + e.holders() + L"）占用，请关闭该程序后重新安装！";
}

// Creates `dir` with every missing parent, as a step taken back with the
// others; false when it is not a directory afterwards (an empty text never
// is).
bool CreateInstallDirectory(const std::wstring& dir, UpgradeSteps& steps) {
  if (dir.empty()) return false;
  try {
    steps.Run(orvek::system::CreateDirectoryStep(dir));
  } catch (const std::exception&) {
    return false;
  }
  return orvek::system::DirectoryExists(dir);
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

void Install(const InstallRequest& request, InstallView& view, UpgradeSteps& steps) {
  const std::wstring dir = InstallDirectory(request.target_text);
  if (!CreateInstallDirectory(dir, steps)) {
    steps.UndoAll();
    view.ShowPage(tpInstallFailed, kBadDirectoryText, true);
    orvek::log::LogError(L"mkdir install path error, " + dir);
    return;
  }
  // Earlier generations are moved aside, not deleted: until the new
  // installation is complete, every failure brings them back. A location
  // that cannot be moved ends the job (EarlierInstallationInUse). Each
  // configuration they hold is kept: the one at the target where the client
  // looks for it, any other in a backup of its own.
  LogScopeReplacement(request);
  const auto must_write = PayloadWrites(request, dir);
  const auto show_removal = [&] { view.SetProgressText(kUninstalling); };
  const std::wstring& v49 = request.uninstall_v49;
  if (!v49.empty()) {
    app::RemoveInstallationV49(v49, steps, ConfigurationBackupName(v49, dir, L"per-user"), show_removal, must_write);
  }
  // The installer's own entry under HKLM: removed the same way.
  const std::wstring& all_users = request.uninstall_all_users;
  if (!all_users.empty() && !SameDirectory(all_users, v49)) {
    app::RemoveInstallationV49(all_users, steps, ConfigurationBackupName(all_users, dir, L"all-users"), show_removal,
                               must_write);
  }
  const std::wstring& v50 = request.uninstall_v50;
  if (!v50.empty()) {
    app::RemoveInstallationV50(v50, request.root_key_v50, steps, ConfigurationBackupName(v50, dir, L"v5.0"),
                               must_write);
  }
  // Files at the target that no entry names are an earlier installation
  // all the same (another account's, whose entry this run cannot see): they
  // wait aside like any other, never overwritten in place.
  if (!SameDirectory(dir, v49) && !SameDirectory(dir, all_users) && !SameDirectory(dir, v50)) {
    app::RemoveUnrecordedInstallation(dir, steps, must_write);
  }
  // The target may have gone aside with an earlier generation it lies in.
  orvek::system::CreateDirectories(dir);
  view.SetProgressText(kInstallingText);

  // The refused-offset page offers a retry, which starts a new job: it is
  // shown only once this job has taken everything back.
  std::wstring refused_offset_text;
  orvek::payload::PayloadHooks hooks;
  hooks.show_error_page = [&](const std::wstring& text) { refused_offset_text = text; };
  hooks.show_progress = [&](std::int32_t percent) { view.ShowProgress(percent); };
  hooks.after_extract = [&] {
    if (request.clear_data) ClearUserData();
  };
  // The temporary archive lives in the stretch's private folder, which is
  // gone when it returns.
  if (!orvek::payload::ExtractPayload(request.payload, dir, hooks)) {
    steps.UndoAll();
    view.ShowPage(tpInstalling, refused_offset_text, true);
    return;
  }
  // The new tree is complete: from here on it stays, whatever ends the run
  // (a kill, a power cut), and what follows is not taken back.
  steps.KeepReadOnlyMarks(dir);
  steps.CloseJournal();
  orvek::system::EndHereForTesting(L"before registration");
  RegisterInstallation(request, dir);
  // The earlier one goes now, before the finished page lets the user end
  // the program in the middle of it.
  if (steps.AsidesWait()) view.SetProgressText(kUninstalling);
  steps.RemoveAsides();

  view.ShowPage(tpInstallFinished, L"", false);
  view.SetEnvCheckVisible(orvek::system::FileExists(dir + kEnvCheckTool));
  if (RequestsUpdaterRemoval(request.payload.installer_path)) {
    ::DeleteFileW((dir + L"\\update.exe").c_str());
  }
  addPublicLog(request, L".def.app.install", L"应用安装", L"OTHER",
               InstallExtraData(request.target_text, request.free_space_label));
  orvek::log::LogInfo(L"install ok.");
}

void Fail(UpgradeSteps& steps, InstallView& view, const std::wstring& message, const wchar_t* page_text) {
  orvek::log::LogError(L"install failed, " + message);
  steps.UndoAll();
  view.ShowPage(tpInstallFailed, page_text, true);
}

}  // namespace

void RunInstallJob(const InstallRequest& request, InstallView& view) noexcept {
  // Undone inside each handler, before the page: a silent run reads the
  // failure being handled to choose its exit code.
  UpgradeSteps steps;
  try {
    Install(request, view, steps);
  } catch (const orvek::system::EarlierInstallationInUse& e) {
    Fail(steps, view, orvek::base::WideFromUtf8(e.what()), InUseText(e).c_str());
  } catch (const std::exception& e) {
    Fail(steps, view, orvek::base::WideFromUtf8(e.what()), kInstallFailedText);
  } catch (...) {
    Fail(steps, view, L"unknown failure", kInstallFailedText);
  }
}

bool ClientRuns(const InstallRequest& request) {
  // The client's mutex lives in the session of the teacher who runs it.
  if (orvek::system::MutexExists(L"#OrvekTeacher", true)) return true;
  try {
    const auto elsewhere = orvek::system::FindProgramInOtherSession(
        {InstallDirectory(request.target_text), request.uninstall_v49, request.uninstall_all_users,
         request.uninstall_v50});
    if (!elsewhere) return false;
    const std::wstring session = elsewhere->session ? std::to_wstring(*elsewhere->session) : L"unknown";
    orvek::log::LogInfo(L"client running in another session, session " + session + L", pid " +
                        std::to_wstring(elsewhere->pid) + L", " + elsewhere->image);
    return true;
  } catch (const std::exception& e) {
    // Unseen, the client's files are found in use when the folder is moved
    // aside, which stops the installation before anything is deleted.
    orvek::log::LogException(L"client check error, ", e);
    return false;
  }
}

void EndClientProcesses() {
  for (const wchar_t* image : {L"orvekclient.exe", L"orvekteacher.exe", L"logHelper.exe"}) {
    orvek::system::KillProcessByName(image);
  }
}

}  // namespace orvek::app
