// Runs a packed installer the way a person does, for scripts/bench-extract.sh:
// start it, wait for its window, let it settle (idle, then half a second),
// press "立即安装", wait until the log says how the installation ended,
// untick "运行Orvek客户端" and press "安装完成".
//   usage: install_bench INSTALLER_FILE
// Prints one line of key=value pairs:
//   launch_to_visible_ms  CreateProcess to the main window being visible
//                         (it is painted before it shows: Show() updates it)
//   peak_working_set_kib  the installer's PeakWorkingSetSize once it has
//                         finished (under Wine its VmHWM)
//   outcome               ok, failed or timeout
// The extraction's own times are in the installer's log; the script reads
// them from there, as for the headless run.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/child_process.h"
#include "support/log_tail.h"
#include "support/top_windows.h"
#include "ui_driver.h"

namespace {

using Clock = std::chrono::steady_clock;
using orvek::test::FindControl;
using orvek::test::PressControl;

constexpr DWORD kTimeoutMs = 15 * 60 * 1000;
constexpr DWORD kReadingMs = 500;
// Seldom: each look at the log is a few wineserver requests, and the
// extraction under test waits on the same server. The times come from the
// log's own stamps, so a late look changes no figure.
constexpr DWORD kPollMs = 500;

// Polled finely: the figure is compared with a goal of one second.
HWND WaitForMainWindow(const orvek::test::ChildProcess& child) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < deadline) {
    for (HWND h : orvek::test::VisibleTopWindows(child.Pid())) {
      if (orvek::test::WindowClass(h) == L"TfrmTeacherMain") return h;
    }
    if (::WaitForSingleObject(child.Handle(), 2) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

std::string WaitForOutcome(const orvek::test::LogTail& log) {
  const ULONGLONG deadline = ::GetTickCount64() + kTimeoutMs;
  while (::GetTickCount64() < deadline) {
    const std::string text = log.Appended();
    if (text.find("install ok.") != std::string::npos) return "ok";
    if (text.find("install failed, ") != std::string::npos) return "failed";
    ::Sleep(kPollMs);
  }
  return "timeout";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: install_bench INSTALLER_FILE\n");
    return 2;
  }
  orvek::test::LogTail log;
  const Clock::time_point start = Clock::now();
  orvek::test::ChildProcess child = orvek::test::ChildProcess::Start(argv[1], {});
  const HWND window = WaitForMainWindow(child);
  const auto visible_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  if (!window) {
    std::fprintf(stderr, "install_bench: no installer window\n");
    child.Terminate();
    return 1;
  }
  // A person reads the page before pressing; pressed at once, the
  // extraction would share the processor with the rest of the start-up.
  ::WaitForInputIdle(child.Handle(), 10000);
  ::Sleep(kReadingMs);
  PressControl(FindControl(window, L"btnInstall"));
  const std::string outcome = WaitForOutcome(log);

  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(child.Handle(), &memory, sizeof memory);
  if (outcome == "ok") {
    PressControl(FindControl(window, L"chkRunApp"));
    PressControl(FindControl(window, L"btnFinished"));
  } else {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  if (child.WaitForExit(20000) == STILL_ACTIVE) child.Terminate();

  std::printf("launch_to_visible_ms=%lld peak_working_set_kib=%llu outcome=%s\n",
              static_cast<long long>(visible_ms),
              static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024), outcome.c_str());
  std::fflush(stdout);
  return outcome == "ok" ? 0 : 1;
}
