#include "app/main_window.h"

#include <stdexcept>

#include "app/dpi_awareness.h"

namespace orvek::app {
namespace {

void RegisterWindowClass(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    return ::DefWindowProcW(h, m, w, l);
  };
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = TfrmTeacherMain::kClassName;
  if (!::RegisterClassExW(&wc)) throw std::runtime_error("cannot register the main window class");
  registered = true;
}

}  // namespace

TfrmTeacherMain::TfrmTeacherMain() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterWindowClass(instance);
  // Frameless like the skinned window: no platform border or caption, but a
  // task-bar button with the caption and the minimise command.
  hwnd_ = ::CreateWindowExW(WS_EX_APPWINDOW, kClassName, kCaption,
                            WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, ScaleForDpi(kDesignWidth),
                            ScaleForDpi(kDesignHeight), nullptr, nullptr, instance, this);
  if (!hwnd_) throw std::runtime_error("cannot create the main window");
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WndProc));
}

TfrmTeacherMain::~TfrmTeacherMain() {
  if (hwnd_) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
}

void TfrmTeacherMain::Show() {
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
}

LRESULT CALLBACK TfrmTeacherMain::WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TfrmTeacherMain*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  return self->HandleMessage(hwnd, msg, wparam, lparam);
}

LRESULT TfrmTeacherMain::HandleMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_NCHITTEST:
      // No platform caption: the whole window drags.
      return HTCAPTION;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_DESTROY:
      hwnd_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

void TfrmTeacherMain::OnPaint() {
  PAINTSTRUCT ps;
  const HDC dc = ::BeginPaint(hwnd_, &ps);
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  RECT top = client;
  top.bottom = ScaleForDpi(180);
  RECT bottom = client;
  bottom.top = top.bottom;
  const HBRUSH blue = ::CreateSolidBrush(RGB(0x3D, 0x7B, 0xF5));
  ::FillRect(dc, &top, blue);
  ::DeleteObject(blue);
  ::FillRect(dc, &bottom, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::EndPaint(hwnd_, &ps);
}

}  // namespace orvek::app
