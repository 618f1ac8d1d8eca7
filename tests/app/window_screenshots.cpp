// Saves the installer window in each of its page states as BMP files, for
// the screenshots in docs/ (scripts/screenshots.sh turns them into PNG).
// usage: window_screenshots OUTPUT_DIR
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/data_module.h"
#include "app/main_window.h"
#include "log/logs.h"
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

// Copies the window's screen area into a 24-bit BMP.
bool SaveWindow(HWND hwnd, const std::wstring& path) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const HDC screen = ::GetDC(nullptr);
  const HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = ::SelectObject(mem, bitmap);
  ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  const DWORD image = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + image;
  bool ok = false;
  if (FILE* out = _wfopen(path.c_str(), L"wb")) {
    ok = fwrite(&file, sizeof file, 1, out) == 1 &&
         fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         fwrite(bits, 1, image, out) == image;
    fclose(out);
  }
  ::SelectObject(mem, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return ok;
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
    window.FVersion = L"6.15.1";
    window.lblVersion->SetText(L"版本：" + window.FVersion);
    window.edtInstallDir->SetText(L"C:\\Program Files (x86)\\Orvek\\TeacherClient");
    window.lblInfo->SetText(L"所需空间：512MB  可用空间：48.2GB");
    prepare(window);
    window.Show();
    PumpFor(1500);
    if (!SaveWindow(window.Handle(), dir + name + L".bmp")) ++failures;
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
