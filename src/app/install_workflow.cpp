// From the press of the install button to the end of the program: the checks
// before an installation, the start of the install worker and the buttons of
// the pages that follow it.
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <thread>

#include "app/install_job.h"
#include "app/install_rules.h"
#include "app/main_window.h"
#include "base/unicode.h"
#include "log/failure_boundary.h"
#include "log/logs.h"
#include "net/service_config.h"
#include "system/files/directories.h"
#include "system/processes/module_path.h"
#include "system/processes/signed_in_user_start.h"

namespace orvek::app {
namespace {

constexpr const wchar_t* kClientRunning = L"检测到您正在运行Orvek教师客户端，请退出后点击重试！";
constexpr const wchar_t* kClientExe = L"\\orvekclient.exe";
constexpr const wchar_t* kEnvCheckParameters = L"-single orvek_runtime_check -auto -clientId ";
constexpr const wchar_t* kRetiredPackage = L"当前版本已停用，请从官网下载最新安装包！";

// The worker's view of the window: every call is a synchronous hand-off but
// the progress, which is posted and not waited for.
// It holds the hand-off, not the window: once the window is destroyed the
// hand-off refuses, so `window` is only dereferenced on the UI thread while
// it still exists.
class HandoffInstallView : public InstallView {
 public:
  HandoffInstallView(std::shared_ptr<UiHandoff> handoff, TfrmTeacherMain* window)
      : handoff_(std::move(handoff)), window_(window) {}

  void ShowPage(TInstallPage page, const std::wstring& msg, bool error) override {
    // Already on the UI thread inside Run: SyncShowPages runs ShowPage at once.
    Run([=](TfrmTeacherMain& w) { w.SyncShowPages(page, msg, error); });
  }
  void SetProgressText(const std::wstring& text) override {
    Run([=](TfrmTeacherMain& w) { w.lblProgress->SetText(text); });
  }
  void ShowProgress(int percent) override {
    try {
      TfrmTeacherMain* window = window_;
      handoff_->Post([window, percent] { window->ShowProgress(percent); });
    } catch (const std::exception& e) {
      orvek::log::LogException(L"ui hand-off failed, ", e);
    }
  }
  void SetEnvCheckVisible(bool visible) override {
    Run([=](TfrmTeacherMain& w) { w.lblEnvCheck->SetVisible(visible); });
  }

 private:
  template <class Operation>
  void Run(Operation operation) {
    try {
      TfrmTeacherMain* window = window_;
      handoff_->Run([window, operation] { operation(*window); });
    } catch (const std::exception& e) {
      orvek::log::LogException(L"ui hand-off failed, ", e);
    }
  }

  std::shared_ptr<UiHandoff> handoff_;
  TfrmTeacherMain* window_;
};

}  // namespace

void TfrmTeacherMain::btnInstallClick() {
  if (FVersionValid->load() == 0) {
    ::MessageBoxW(hwnd_, kRetiredPackage, L"错误", MB_ICONERROR | MB_OK);
    const std::wstring url = std::wstring(orvek::net::kWebSite) + kDownloadPath;
    ::ShellExecuteW(hwnd_, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return;
  }
  orvek::log::LogInfo(L"begin to install...");
  ShowPage(tpInstalling, kInstallingText, false);
  SetOptionsExpanded(false);
  if (ClientRuns(MakeInstallRequest())) {
    orvek::log::LogError(L"Orvek教师客户端正在运行中...");
    ShowPage(tpInstalling, kClientRunning, true);
    return;
  }
  EndClientProcesses();
  StartInstallWorker();
}

InstallRequest TfrmTeacherMain::MakeInstallRequest() const {
  InstallRequest request;
  request.target_text = edtInstallDir->Text();
  request.add_desktop = chkAddDesktop->Checked();
  request.add_start_menu = chkAddStartMenu->Checked();
  request.clear_data = chkClearData->Checked();
  request.free_space_label = lblInfo->Text();
  request.uninstall_v49 = FUninstallV49;
  request.uninstall_v50 = FUninstallV50;
  request.root_key_v50 = FRootKeyV50;
  request.uninstall_all_users = FUninstallAllUsers;
  request.scope = FInstallScope;
  request.version = FVersion;
  request.client_id = FClientId;
  request.device_info = FDeviceInfo;
  request.monitors = FMonitors;
  request.payload.installer_path = orvek::system::GetModulePath();
  return request;
}

void TfrmTeacherMain::StartInstallWorker() {
  try {
    auto view = std::make_shared<HandoffInstallView>(handoff_, this);
    std::thread([request = MakeInstallRequest(), view, hook = install_worker_hook_] {
      const bool ran = orvek::log::RunGuarded(L"install worker error", [&] {
        if (hook) hook();
        RunInstallJob(request, *view);
      });
      if (!ran) view->ShowPage(tpInstallFailed, kInstallFailedText, true);
    }).detach();
  } catch (const std::exception& e) {
    // No worker (no thread, no module path): the installation cannot run.
    orvek::log::LogError(L"install failed, " + orvek::base::WideFromUtf8(e.what()));
    ShowPage(tpInstallFailed, kInstallFailedText, true);
  }
}

void TfrmTeacherMain::btnRetryClick() {
  if (btnRetry->Text() == L"关闭") {
    ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    return;
  }
  orvek::log::LogInfo(L"retry install again...");
  btnInstallClick();
}

void TfrmTeacherMain::btnFinishedClick() {
  if (chkRunApp->Checked()) {
    const std::wstring dir = InstallDirectory(edtInstallDir->Text());
    const std::wstring working = dir + L"\\";
    orvek::system::StartForSignedInUser(dir + kClientExe, L"", working);
  }
  ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void TfrmTeacherMain::lblEnvCheckClick() {
  const std::wstring dir = InstallDirectory(edtInstallDir->Text());
  const std::wstring tool = dir + kEnvCheckTool;
  if (!orvek::system::FileExists(tool)) return;
  const std::wstring parameters = kEnvCheckParameters + FClientId;
  const std::wstring working = dir + L"\\";
  orvek::system::StartForSignedInUser(tool, parameters, working);
}

}  // namespace orvek::app
