#include "app/unattended_run.h"

#include <windows.h>
#include <objbase.h>

#include <exception>
#include <string>

#include "app/background_work.h"
#include "app/first_page_setup.h"
#include "app/install_job.h"
#include "app/install_plan.h"
#include "app/install_rules.h"
#include "app/windows_version.h"
#include "log/logs.h"
#include "base/unicode.h"
#include "payload/seven_zip_reader.h"
#include "system/files/directories.h"
#include "system/files/disk_space_math.h"
#include "system/installations/recoverable_steps.h"
#include "system/processes/module_path.h"

namespace orvek::app {
namespace {

// The window's size at 96 DPI with the options closed, for the set-up's
// "formsize" line: there is no window, so the design size stands in.
constexpr int kDesignWidth = 520;
constexpr int kClosedHeight = 325;

wchar_t UserDecimalSeparator() {
  wchar_t separator[8] = {};
  return ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 1 ? separator[0] : L'.';
}

// The first page without a window: it keeps what the set-up would show and
// puts the target of /D= or /DIR= in place of the proposed one.
class QuietFirstPage : public FirstPageView {
 public:
  explicit QuietFirstPage(std::wstring target) : target_override_(std::move(target)) {}

  int WindowWidth() const override { return kDesignWidth; }
  int WindowHeight() const override { return kClosedHeight; }
  std::wstring TargetText() const override { return target_; }
  void SetTargetText(const std::wstring& text) override {
    target_ = target_override_.empty() ? text : target_override_;
  }
  void SetVersionCaption(const std::wstring&) override {}
  bool ShowTargetSpace(double gigabytes) override {
    free_space_label_ = FreeSpaceText(gigabytes, UserDecimalSeparator());
    return !HasTooLittleSpace(gigabytes);
  }
  void OpenOptions() override { target_space_short_ = true; }
  void CloseOptions() override {}
  void WarnSystemDiskShort() override { system_disk_short_ = true; }
  void EndApplication() override { ended_ = true; }

  // Why the set-up stopped the run, or kSuccess when it did not.
  ExitCode Refusal() const {
    if (system_disk_short_ || target_space_short_) return ExitCode::kDiskSpace;
    if (ended_) return ExitCode::kAnotherInstallRunning;
    return ExitCode::kSuccess;
  }
  bool system_disk_short() const { return system_disk_short_; }
  const std::wstring& free_space_label() const { return free_space_label_; }

 private:
  std::wstring target_override_;
  std::wstring target_;
  std::wstring free_space_label_;
  bool target_space_short_ = false;
  bool system_disk_short_ = false;
  bool ended_ = false;
};

// The install job's view without a window: the page it ends on becomes the
// exit code.
class QuietInstallView : public InstallView {
 public:
  void ShowPage(TInstallPage page, const std::wstring& msg, bool error) override {
    if (page == tpInstallFinished) {
      outcome_ = ExitCode::kSuccess;
    } else if (page == tpInstalling && error) {
      outcome_ = ExitCode::kInstallerDamaged;  // the stored payload offset was refused
    } else if (page == tpInstallFailed) {
      outcome_ = msg == kBadDirectoryText ? ExitCode::kTargetDirectory : FailureCode();
    }
  }
  void SetProgressText(const std::wstring&) override {}
  void ShowProgress(int) override {}
  void SetEnvCheckVisible(bool) override {}

  ExitCode outcome() const { return outcome_; }

 private:
  // The job shows its failed page from inside its handler of the failure,
  // so the failure is still at hand: a damaged archive is the installer
  // file's fault, a held earlier installation a program's, anything else
  // the installation's.
  static ExitCode FailureCode() {
    if (const std::exception_ptr failure = std::current_exception()) {
      try {
        std::rethrow_exception(failure);
      } catch (const orvek::payload::ArchiveDamagedError&) {
        return ExitCode::kInstallerDamaged;
      } catch (const orvek::system::EarlierInstallationInUse&) {
        return ExitCode::kEarlierInstallationInUse;
      } catch (...) {
      }
    }
    return ExitCode::kInstallFailed;
  }

  ExitCode outcome_ = ExitCode::kInstallFailed;  // no page at all: the job broke off
};

InstallRequest MakeRequest(const SetupSwitches& switches, const TInstallerFields& fields,
                           const QuietFirstPage& page) {
  InstallRequest request;
  request.target_text = page.TargetText();
  request.add_desktop = switches.add_desktop;
  request.add_start_menu = switches.add_start_menu;
  request.clear_data = switches.clear_user_data;
  request.free_space_label = page.free_space_label();
  request.uninstall_v49 = fields.FUninstallV49;
  request.uninstall_v50 = fields.FUninstallV50;
  request.root_key_v50 = fields.FRootKeyV50;
  request.uninstall_all_users = fields.FUninstallAllUsers;
  request.scope = fields.FInstallScope;
  request.version = fields.FVersion;
  request.client_id = fields.FClientId;
  request.device_info = fields.FDeviceInfo;
  request.monitors = fields.FMonitors;
  request.payload.installer_path = orvek::system::GetModulePath();
  return request;
}

// The verdict as the install button would read it, after waiting for the
// check where a person would have looked at the first page meanwhile.
std::int32_t WaitForVerdict(const TInstallerFields& fields) {
  if (!WaitForBackgroundWork(std::chrono::milliseconds(kVerdictWaitMs))) {
    orvek::log::LogWarn(L"silent install, no version verdict in time");
  }
  return fields.FVersionValid->load();
}

ExitCode Install(const SetupSwitches& switches, const TInstallerFields& fields, const QuietFirstPage& page) {
  if (WaitForVerdict(fields) == 0) {
    orvek::log::LogError(L"silent install refused, package retired, " + fields.FVersion);
    return ExitCode::kPackageRetired;
  }
  // As the install button does.
  orvek::log::LogInfo(L"begin to install...");
  const InstallRequest request = MakeRequest(switches, fields, page);
  if (ClientRuns(request)) {
    orvek::log::LogError(L"Orvek教师客户端正在运行中...");
    return ExitCode::kClientRunning;
  }
  EndClientProcesses();
  QuietInstallView view;
  RunInstallJob(request, view);
  if (view.outcome() == ExitCode::kSuccess &&
      !WaitForBackgroundWork(std::chrono::milliseconds(kReportWaitMs))) {
    orvek::log::LogWarn(L"silent install, install event not sent in time");
  }
  return view.outcome();
}

ExitCode Plan(const SetupSwitches& switches, const TInstallerFields& fields, const QuietFirstPage& page) {
  PlanFacts facts;
  facts.request = MakeRequest(switches, fields, page);
  facts.scope_reason = fields.FInstallScopeReason;
  facts.target_space_short = page.Refusal() == ExitCode::kDiskSpace;
  facts.verdict = WaitForVerdict(fields);
  facts.client_running = ClientRuns(facts.request);
  return LogInstallPlan(facts);
}

ExitCode Run(const SetupSwitches& switches) {
  // Nobody is there to read the windowed run's box: the exit code says it.
  if (!PassesVersionGate(GetWindowsVersion())) {
    orvek::log::LogError(L"silent install refused, windows too old");
    return ExitCode::kWindowsTooOld;
  }
  if (!switches.error.empty()) {
    orvek::log::LogError(L"bad command line, " + switches.error);
    return ExitCode::kBadCommandLine;
  }
  TInstallerFields fields;
  QuietFirstPage page(switches.target);
  try {
    SetUpFirstPage(fields, page, {switches.plan, true, switches.all_users, switches.current_user});
  } catch (const std::exception& e) {
    orvek::log::LogError(L"silent install, setup failed, " + orvek::base::WideFromUtf8(e.what()));
    return ExitCode::kInstallFailed;
  }
  const ExitCode refusal = page.Refusal();
  if (refusal == ExitCode::kAnotherInstallRunning) {
    orvek::log::LogError(L"silent install refused, another installer is running");
    return refusal;
  }
  if (page.system_disk_short()) {
    orvek::log::LogError(L"silent install refused, too little space on the system disk");
    return refusal;
  }
  // The set-up ran to its end: a plan can still say everything else.
  if (switches.plan) return Plan(switches, fields, page);
  if (refusal == ExitCode::kDiskSpace) {
    // A drive that does not exist has no space either, but what it really
    // means is a target that cannot be made.
    if (!orvek::system::DirectoryExists(orvek::system::DriveOfPath(page.TargetText()) + L"\\")) {
      orvek::log::LogError(L"mkdir install path error, " + page.TargetText());
      return ExitCode::kTargetDirectory;
    }
    orvek::log::LogError(L"silent install refused, too little space on the target drive, " + page.TargetText());
    return refusal;
  }
  return Install(switches, fields, page);
}

}  // namespace

ExitCode RunUnattended(const SetupSwitches& switches) noexcept {
  // The machine description (WMI) and the shortcuts use COM on this thread.
  // A single-threaded apartment would give it a hidden window that this
  // thread, which runs no message loop, would never answer (a broadcast to
  // all windows would wait on it). In the multithreaded apartment COM hosts
  // what needs a window on a thread of its own that does answer; the
  // callers' own CoInitialize then finds this apartment and uses it.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  ExitCode code = ExitCode::kInstallFailed;
  const wchar_t* what = switches.plan ? L"plan end, " : L"silent install end, ";
  try {
    // Started before anything else is logged, so the file holds the whole run.
    if (!switches.log_file.empty()) {
      const std::wstring failure = orvek::log::AddLogFile(switches.log_file);
      if (!failure.empty()) {
        orvek::log::LogError(L"log file error, " + switches.log_file + L", " + failure);
        code = ExitCode::kLogFile;
      }
    }
    orvek::log::LogInfo(std::wstring(switches.plan ? L"plan begin, " : L"silent install begin, ") +
                        ::GetCommandLineW());
    if (code != ExitCode::kLogFile) code = Run(switches);
    orvek::log::LogInfo(what + std::to_wstring(static_cast<int>(code)) + L" " +
                        std::wstring(ExitCodeText(code)));
  } catch (const std::exception& e) {
    orvek::log::LogError(what + std::to_wstring(static_cast<int>(code)) + L", " +
                         orvek::base::WideFromUtf8(e.what()));
  } catch (...) {
    orvek::log::LogError(what + std::to_wstring(static_cast<int>(code)));
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return code;
}

}  // namespace orvek::app
