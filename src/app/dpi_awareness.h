// DPI awareness is opt-in through the "dpi" switch; the window's design sizes
// are at 96 DPI and are scaled only when the process is DPI-aware.
#pragma once

namespace orvek::app {

// Calls user32's SetProcessDPIAware, bound at the first call so the program
// still loads (and reaches its version gate) where the function is missing.
// Returns false when it is missing or fails.
bool EnableDpiAwareness();

// True once EnableDpiAwareness has succeeded.
bool IsProcessDpiAware();

// The screen's logical DPI as the process sees it.
int ScreenDpi();

// `design` pixels at 96 DPI, scaled by DPI / 96 when the process is
// DPI-aware, unchanged otherwise (the platform then scales the window).
int ScaleForDpi(int design);

}  // namespace orvek::app
