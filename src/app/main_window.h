// The installer's one window: the blue top with logo, product name and
// version, and below it one of four pages (TInstallPage).
//
// Every member runs on the UI thread except the Sync* operations, which a
// worker thread calls to have the UI thread run the page operations.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/first_page_setup.h"
#include "app/install_page.h"
#include "app/install_request.h"
#include "app/ui_handoff.h"
#include "skin/skin_control.h"

namespace orvek::app {

class TfrmTeacherMain : public TInstallerFields, private FirstPageView {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmTeacherMain";
  static constexpr const wchar_t* kCaption = L"Orvek教师客户端";
  static constexpr int kDesignWidth = 520;
  static constexpr int kDesignHeight = 388;
  static constexpr int kTopHeight = 180;
  static constexpr int kPreInfoHeight = 135;
  // The pages on the maker's web site (net::kWebSite) that the installer opens.
  static constexpr const wchar_t* kLicensePath = L"/privacy/license.html";
  static constexpr const wchar_t* kDownloadPath = L"/download";

  // Builds the window and all its controls from the skin of DM, then runs
  // FormCreate. Throws std::runtime_error when the window cannot be made.
  TfrmTeacherMain();
  TfrmTeacherMain(const TfrmTeacherMain&) = delete;
  TfrmTeacherMain& operator=(const TfrmTeacherMain&) = delete;
  ~TfrmTeacherMain();

  HWND Handle() const { return hwnd_; }

  // True when the creation handler asked the program to end (another
  // installer runs, or the system disk is full): the window is not shown.
  bool EndRequested() const { return end_requested_; }

  // The folder browser of btnFolderClick: the chosen folder, or nullopt when
  // the user cancelled. Tests replace it; nullptr restores the shell's.
  using FolderChooser = std::function<std::optional<std::wstring>(HWND owner, const std::wstring& start)>;
  static void SetFolderChooserForTesting(FolderChooser chooser);

  // Centres the window on the screen, shows it and runs FormShow.
  void Show();

  // Any thread, while this object exists: run the operation on the UI thread
  // and return after it has run; false (nothing done) once the window has
  // been destroyed. The install worker holds Handoff() instead of the window.
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
  void SetOptionsExpanded(bool expand);
  // What the worker needs, taken from the controls and fields now.
  InstallRequest MakeInstallRequest() const;
  // Starts InstallWorker on a thread of its own with a request taken now.
  void StartInstallWorker();

  // FirstPageView
  int WindowWidth() const override { return Width(); }
  int WindowHeight() const override;
  std::wstring TargetText() const override;
  void SetTargetText(const std::wstring& text) override;
  void SetVersionCaption(const std::wstring& version) override;
  bool ShowTargetSpace(double gigabytes) override;
  void OpenOptions() override { SetOptionsExpanded(true); }
  void CloseOptions() override;
  void WarnSystemDiskShort() override;
  void EndApplication() override { end_requested_ = true; }
  void ShowWhileRepairing(const std::function<void()>& repair) override;

  void CreateControls();
  void CreateTop();
  void CreatePreInstallPage();
  void CreateInstallingPage();
  void CreateFinishedPage();
  // On activation: the focus back where it was when the window was left,
  // or on the page in front when that changed.
  void RestoreFocus();
  void SetHeight(int height);
  int Width() const;
  void ToggleRollUp();
  void AddHint(orvek::skin::SkinControl& control, std::wstring_view text);

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  std::shared_ptr<UiHandoff> handoff_;
  HWND hints_ = nullptr;     // tooltip window, owned by (and destroyed with) hwnd_
  int rolled_up_from_ = 0;  // height before a roll-up, 0 when not rolled up
  HWND focus_on_leave_ = nullptr;  // the focus when the window was last deactivated
  bool end_requested_ = false;
  bool repairing_ = false;  // the window must not close while the repair runs
  bool close_after_repair_ = false;  // ... but closes once it has run
  std::function<void()> install_worker_hook_;
};

}  // namespace orvek::app
