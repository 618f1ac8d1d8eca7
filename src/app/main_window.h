// The installer's one window: the blue top with logo, product name and
// version, and below it one of four pages (TInstallPage).
//
// Every member runs on the UI thread except the Sync* operations, which a
// worker thread calls to have the UI thread run the page operations.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/install_page.h"
#include "app/ui_handoff.h"
#include "skin/skin_control.h"

namespace orvek::app {

class TfrmTeacherMain {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmTeacherMain";
  static constexpr const wchar_t* kCaption = L"Orvek教师客户端";
  static constexpr int kDesignWidth = 520;
  static constexpr int kDesignHeight = 388;
  static constexpr int kTopHeight = 180;
  static constexpr int kPreInfoHeight = 135;
  // The maker's web site and the pages on it that the installer opens.
  static constexpr const wchar_t* kWebSite = L"https://www.orvek.com.cn";
  static constexpr const wchar_t* kLicensePath = L"/privacy/license.html";
  static constexpr const wchar_t* kDownloadPath = L"/download";

  // Builds the window and all its controls from the skin of DM, then runs
  // FormCreate. Throws std::runtime_error when the window cannot be made.
  TfrmTeacherMain();
  TfrmTeacherMain(const TfrmTeacherMain&) = delete;
  TfrmTeacherMain& operator=(const TfrmTeacherMain&) = delete;
  ~TfrmTeacherMain();

  HWND Handle() const { return hwnd_; }

  // Centres the window on the screen, shows it and runs FormShow.
  void Show();

  // Worker threads: run the operation on the UI thread and return after it
  // has run; false (nothing done) when the window is gone.
  bool SyncShowPages(TInstallPage page, const std::wstring& msg, bool error);
  bool SyncSetProgressText(const std::wstring& text);
  // Worker threads: queues ShowProgress without waiting for the UI thread;
  // it runs before any later hand-off. False when the window is gone.
  bool PostShowProgress(int percent);
  // For workers that outlive the window: hold this rather than the window.
  std::shared_ptr<UiHandoff> Handoff() const { return handoff_; }

  // Runs first on every install worker thread; tests make it throw to reach
  // the worker's failure boundary. Set before the install button is pressed.
  void SetInstallWorkerHookForTesting(std::function<void()> hook) { install_worker_hook_ = std::move(hook); }

  void FormCreate();
  void FormShow();
  void ShowProgress(int percent);
  void btnInstallClick();
  void btnRetryClick();
  void btnFinishedClick();
  void btnFolderClick();
  void btnExpandAndPickupClick();
  void chkReadlLicenseClick();
  void pnlLicenseClick();
  void lblEnvCheckClick();

  // Fields shared with the set-up and the install workflow.
  std::wstring FVersion;
  int FVersionValid = -1;
  std::wstring FUninstallV49, FUninstallV50;
  HKEY FRootKeyV50 = nullptr;
  std::wstring FClientId;
  std::wstring FDeviceInfo, FMonitors;
  int FExpandHeight = 0;

  // The controls, named as in the window's description.
  using Control = std::unique_ptr<orvek::skin::SkinControl>;
  Control pnlClient, pnlTop, img1, lblProduct, lblVersion, btnMinimize, btnRollUp;
  Control pnlBottom, pnlInstallError, pnlInstalling, pnlFinished, pnlPreInstall;
  Control btnInstall, chkReadlLicense, lbl1, btnExpandAndPickup;
  Control pnlPreInfo, pnlSplite, Label1, edtInstallDir, btnFolder, lblInfo, lblErrorInfo;
  Control chkAddDesktop, chkAddStartMenu, chkClearData;
  Control tbProgress, lblProgress, lblProgressValue, lblError, btnRetry;
  Control btnFinished, chkRunApp, lblEnvCheck;

 private:
  friend class TfrmTeacherMainTestPeer;

  void ShowPage(TInstallPage page, const std::wstring& msg, bool error);
  // The body of the install worker thread.
  void InstallWorker();
  void SetOptionsExpanded(bool expand);

  void CreateControls();
  void CreateTop();
  void CreatePreInstallPage();
  void CreateInstallingPage();
  void CreateFinishedPage();
  void SetHeight(int height);
  int Width() const;
  int WindowHeight() const;
  void ToggleRollUp();
  void AddHint(HWND control, std::wstring_view text);

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  std::shared_ptr<UiHandoff> handoff_;
  HWND hints_ = nullptr;     // tooltip window, owned by (and destroyed with) hwnd_
  int rolled_up_from_ = 0;  // height before a roll-up, 0 when not rolled up
  std::function<void()> install_worker_hook_;
};

}  // namespace orvek::app
