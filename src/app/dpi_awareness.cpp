#include "app/dpi_awareness.h"

#include <windows.h>

#include "base/bound_function.h"

namespace orvek::app {
namespace {

using BoolFn = BOOL(WINAPI*)();

BoolFn BindUser32(const char* name) {
  return base::BindFunction<BoolFn>(::GetModuleHandleW(L"user32.dll"), name);
}

// The manifest declares no awareness, so the process is aware exactly when
// this program made it so. Remembered here rather than asked of the platform,
// because some (Wine among them) report every process as aware.
bool g_dpi_aware = false;

}  // namespace

bool EnableDpiAwareness() {
  static const BoolFn fn = BindUser32("SetProcessDPIAware");
  if (fn != nullptr && fn() != FALSE) g_dpi_aware = true;
  return g_dpi_aware;
}

bool IsProcessDpiAware() { return g_dpi_aware; }

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int ScaleForDpi(int design) {
  if (!IsProcessDpiAware()) return design;
  return ::MulDiv(design, ScreenDpi(), 96);
}

}  // namespace orvek::app
