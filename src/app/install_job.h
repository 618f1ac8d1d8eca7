// The install worker's body: from creating the target directory to the
// event report, over the values of one request. It reaches the window only
// through an InstallView.
#pragma once

#include <string>

#include "app/install_page.h"
#include "app/install_request.h"

namespace orvek::app {

// What the job asks of the window. Each call returns once the UI thread has
// done it, except ShowProgress, which may return before and is done before
// any later call; when the window is gone the call does nothing and the job
// runs on to its end without a screen.
class InstallView {
 public:
  virtual ~InstallView() = default;
  virtual void ShowPage(TInstallPage page, const std::wstring& msg, bool error) = 0;
  virtual void SetProgressText(const std::wstring& text) = 0;
  virtual void ShowProgress(int percent) = 0;
  virtual void SetEnvCheckVisible(bool visible) = 0;
};

inline constexpr const wchar_t* kInstallingText = L"正在安装...";
inline constexpr const wchar_t* kInstallFailedText = L"安装异常，请关闭当前程序重新安装！";
inline constexpr const wchar_t* kBadDirectoryText = L"无效的安装目录，请关闭当前程序，重新安装！";
// An earlier installation could not be moved aside: a file in it is held
// open by another program. Nothing was deleted.
inline constexpr const wchar_t* kEarlierInstallationInUseText =
    L"旧版本的文件正被其他程序占用，请关闭该程序后重新安装！";
inline constexpr const wchar_t* kEnvCheckTool = L"\\lib\\ia32\\win32\\runtime-check\\orvekRunTimeCheck.exe";

// Runs one installation on the calling (worker) thread. Every outcome ends
// on a page of the view and in the log; nothing escapes it: a failure
// outside the payload stretch, too, ends on the failed page with
// "install failed, " and its message. Until the new installation is
// complete, the earlier generations only wait aside (recoverable_steps.h):
// every failure takes the job's changes back before its page is shown, an
// earlier generation that cannot be moved aside ends on the failed page
// with kEarlierInstallationInUseText, and once the new installation is
// registered the generations aside are removed.
void RunInstallJob(const InstallRequest& request, InstallView& view) noexcept;

// The install button's last checks before a job, shared with an unattended
// run: whether the client runs, and ending its processes ("orvekclient.exe",
// "orvekteacher.exe", "logHelper.exe", in this order; not waited for).
//
// The client runs when its mutex "#OrvekTeacher" exists in this session, or
// when a process of another session runs a program from the request's
// target or one of the earlier installations it replaces; that process is
// logged ("client running in another session, session N, pid P, <image>").
// Only processes of this session are ended: another session's client is
// someone's lesson, and is waited for instead.
bool ClientRuns(const InstallRequest& request);
void EndClientProcesses();

}  // namespace orvek::app
