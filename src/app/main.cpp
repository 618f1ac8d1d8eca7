// Entry point: brings the process up, runs the window, brings it down.
#include <windows.h>

#include "app/command_line.h"
#include "app/data_module.h"
#include "app/dpi_awareness.h"
#include "app/main_window.h"
#include "app/setup_help.h"
#include "app/setup_switches.h"
#include "app/unattended_run.h"
#include "app/windows_version.h"
#include "base/system_library.h"
#include "base/unicode.h"
#include "log/logs.h"

namespace {

constexpr const wchar_t* kUnsupportedWindows =
    L"XP系统暂不支持，请在Windows7及以上系统下使用！";
constexpr const wchar_t* kErrorCaption = L"错误";

int RunMessageLoop(HWND main_window) {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Tab between controls, Space/Enter on the focused one.
    if (::IsWindow(main_window) && ::IsDialogMessageW(main_window, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

int RunInstaller(const orvek::app::SetupSwitches& switches) {
  using namespace orvek::app;
  // Asked what the installer takes: answer (or, unwatched, say nothing) and
  // touch nothing else, whatever else the line holds.
  if (switches.help) {
    if (!switches.Unattended()) {
      ::MessageBoxW(nullptr, SetupHelpText().c_str(), kHelpCaption, MB_ICONINFORMATION | MB_OK);
    }
    return 0;
  }
  if (switches.Unattended()) return static_cast<int>(RunUnattended(switches));
  if (HasCommandLineSwitch(L"dpi")) EnableDpiAwareness();

  if (!PassesVersionGate(GetWindowsVersion())) {
    ::MessageBoxW(nullptr, kUnsupportedWindows, kErrorCaption, MB_ICONERROR | MB_OK);
    return 0;
  }

  // The data module and the window are never freed: worker threads that the
  // window started may still read them while the process ends. The skin must
  // exist before the window binds its controls to it.
  DM = new TDM();
  auto* main_window = new TfrmTeacherMain();
  // A second installer, or a full system disk: end without showing anything.
  if (main_window->EndRequested()) return 0;
  main_window->Show();
  return RunMessageLoop(main_window->Handle());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL: the program usually starts elevated from
  // a Downloads folder where a planted "system" DLL may be waiting.
  orvek::base::RestrictDllSearchPath();
  orvek::log::ConfigureLog();
  int code = 0;
  // Without any of its switches the program behaves as it always has; an
  // unknown argument then goes unnoticed, as before.
  const orvek::app::SetupSwitches switches = orvek::app::ParseSetupSwitches(::GetCommandLineW());
  try {
    code = RunInstaller(switches);
  } catch (const std::exception& e) {
    // The message goes into the line itself: a stack-trace-only record
    // would not say what failed.
    orvek::log::LogError(L"startup failed, " + orvek::base::WideFromUtf8(e.what()));
    code = switches.Unattended() ? static_cast<int>(orvek::app::ExitCode::kInstallFailed) : 1;
  }
  orvek::log::CloseLog();
  return code;
}
