// From the press of the install button to the end of the program: the checks
// before an installation, the install worker and the buttons of the pages
// that follow it.
#include <windows.h>
#include <shellapi.h>

#include <stdexcept>
#include <thread>

#include "app/main_window.h"
#include "base/text.h"
#include "base/unicode.h"
#include "log/failure_boundary.h"
#include "log/logs.h"
#include "payload/payload_extraction.h"
#include "system/directories.h"
#include "system/module_path.h"
#include "system/mutex_probe.h"
#include "system/process_killer.h"

namespace orvek::app {
namespace {

constexpr const wchar_t* kClientMutex = L"#OrvekTeacher";
constexpr const wchar_t* kClientRunning = L"检测到您正在运行Orvek教师客户端，请退出后点击重试！";
constexpr const wchar_t* kBadDirectory = L"无效的安装目录，请关闭当前程序，重新安装！";
constexpr const wchar_t* kInstallFailed = L"安装异常，请关闭当前程序重新安装！";
constexpr const wchar_t* kInstalling = L"正在安装...";
constexpr const wchar_t* kClientExe = L"\\orvekclient.exe";
constexpr const wchar_t* kEnvCheckTool = L"\\lib\\ia32\\win32\\runtime-check\\orvekRunTimeCheck.exe";
constexpr const wchar_t* kEnvCheckParameters = L"-single orvek_runtime_check -auto -clientId ";
constexpr const wchar_t* kRetiredPackage = L"当前版本已停用，请从官网下载最新安装包！";

// Blanks and control characters at both ends, and any trailing backslash.
std::wstring InstallDirectory(const std::wstring& text) {
  std::wstring dir(orvek::base::Trim(text));
  while (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return dir;
}

// Creates `dir` with every missing parent; false when it is not a directory
// afterwards.
bool CreateInstallDirectory(const std::wstring& dir) {
  if (dir.empty()) return false;
  orvek::system::CreateDirectories(dir);
  return orvek::system::DirectoryExists(dir);
}

}  // namespace

void TfrmTeacherMain::btnInstallClick() {
  if (FVersionValid == 0) {
    ::MessageBoxW(hwnd_, kRetiredPackage, L"错误", MB_ICONERROR | MB_OK);
    const std::wstring url = std::wstring(kWebSite) + kDownloadPath;
    ::ShellExecuteW(hwnd_, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return;
  }
  orvek::log::LogInfo(L"begin to install...");
  ShowPage(tpInstalling, kInstalling, false);
  SetOptionsExpanded(false);
  if (orvek::system::MutexExists(kClientMutex, true)) {
    orvek::log::LogError(L"Orvek教师客户端正在运行中...");
    ShowPage(tpInstalling, kClientRunning, true);
    return;
  }
  for (const wchar_t* image : {L"orvekclient.exe", L"orvekteacher.exe", L"logHelper.exe"}) {
    orvek::system::KillProcessByName(image);
  }
  // The window outlives every worker (it is never freed), so the worker may
  // keep `this`; it changes controls only through the hand-off.
  std::thread([this] {
    if (orvek::log::RunGuarded(L"install worker error", [this] { InstallWorker(); })) return;
    orvek::log::RunGuarded(L"install worker error",
                           [this] { SyncShowPages(tpInstallFailed, kInstallFailed, true); });
  }).detach();
}

void TfrmTeacherMain::InstallWorker() {
  if (install_worker_hook_) install_worker_hook_();
  const std::wstring dir = InstallDirectory(edtInstallDir->Text());
  if (!CreateInstallDirectory(dir)) {
    SyncShowPages(tpInstallFailed, kBadDirectory, true);
    orvek::log::LogError(L"mkdir install path error, " + dir);
    return;
  }
  SyncSetProgressText(kInstalling);
  try {
    orvek::payload::PayloadHooks hooks;
    hooks.show_error_page = [this](const std::wstring& text) {
      SyncShowPages(tpInstalling, text, true);
    };
    hooks.show_progress = [this](std::int32_t percent) { PostShowProgress(percent); };
    orvek::payload::PayloadSource source;
    source.installer_path = orvek::system::GetModulePath();
    if (!orvek::payload::ExtractPayload(source, dir, hooks)) return;

    SyncShowPages(tpInstallFinished, L"", false);
    const bool has_env_check = orvek::system::FileExists(dir + kEnvCheckTool);
    handoff_->Run([this, has_env_check] { lblEnvCheck->SetVisible(has_env_check); });
    if (orvek::system::GetModulePath().find(L"noupdate") != std::wstring::npos) {
      ::DeleteFileW((dir + L"\\update.exe").c_str());
    }
    orvek::log::LogInfo(L"install ok.");
  } catch (const std::exception& e) {
    orvek::log::LogError(L"install failed, " + orvek::base::WideFromUtf8(e.what()));
    SyncShowPages(tpInstallFailed, kInstallFailed, true);
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
    ::ShellExecuteW(hwnd_, L"open", (dir + kClientExe).c_str(), nullptr, working.c_str(),
                    SW_SHOWNORMAL);
  }
  ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void TfrmTeacherMain::lblEnvCheckClick() {
  const std::wstring dir = InstallDirectory(edtInstallDir->Text());
  const std::wstring tool = dir + kEnvCheckTool;
  if (!orvek::system::FileExists(tool)) return;
  const std::wstring parameters = kEnvCheckParameters + FClientId;
  const std::wstring working = dir + L"\\";
  ::ShellExecuteW(hwnd_, L"open", tool.c_str(), parameters.c_str(), working.c_str(),
                  SW_SHOWNORMAL);
}

}  // namespace orvek::app
