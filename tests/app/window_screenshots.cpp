// Saves the installer window in each of its page states as PNG files, for
// the screenshots in docs/ (scripts/screenshots.sh).
// usage: window_screenshots OUTPUT_DIR
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/data_module.h"
#include "app/main_window.h"
#include "log/logs.h"
#include "support/window_capture.h"
#include "window_fixture.h"

namespace {

using orvek::app::TfrmTeacherMain;
using orvek::app::TfrmTeacherMainTestPeer;

void PumpFor(DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    orvek::test::PumpMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: window_screenshots OUTPUT_DIR\n");
    return 2;
  }
  const std::wstring dir = std::wstring(argv[1]) + L"\\";
  orvek::log::ConfigureLog();
  orvek::app::DM = new orvek::app::TDM();
  int failures = 0;
  const auto shot = [&](const wchar_t* name, auto&& prepare) {
    TfrmTeacherMain window;
    window.FVersion = L"v6.15.1";
    window.lblVersion->SetText(L"版本：" + window.FVersion);
    window.edtInstallDir->SetText(L"C:\\Program Files (x86)\\orvek\\orvekteacher");
    window.lblInfo->SetText(L"磁盘剩余空间：48.20GB");
    prepare(window);
    window.Show();
    PumpFor(1500);
    try {
      orvek::test::SaveWindowPng(window.Handle(), dir + name + L".png");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      ++failures;
    }
  };
  shot(L"page-first", [](TfrmTeacherMain& w) { TfrmTeacherMainTestPeer::SetOptionsExpanded(w, true); });
  shot(L"page-installing", [](TfrmTeacherMain& w) {
    TfrmTeacherMainTestPeer::ShowPage(w, orvek::app::tpInstalling, L"正在安装...", false);
    w.lblProgress->SetText(L"正在解压文件...");
    w.ShowProgress(62);
  });
  shot(L"page-error", [](TfrmTeacherMain& w) {
    TfrmTeacherMainTestPeer::ShowPage(w, orvek::app::tpInstalling, L"正在安装...", false);
    w.ShowProgress(37);
    TfrmTeacherMainTestPeer::ShowPage(w, orvek::app::tpInstalling, L"解压失败，请检查磁盘空间后重试", true);
  });
  shot(L"page-finished", [](TfrmTeacherMain& w) {
    TfrmTeacherMainTestPeer::ShowPage(w, orvek::app::tpInstallFinished, L"", false);
  });
  orvek::log::CloseLog();
  return failures;
}
