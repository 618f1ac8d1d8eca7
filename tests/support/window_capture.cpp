#include "support/window_capture.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "base/unique_handle.h"
#include "support/png_writer.h"

namespace orvek::test {
namespace {

class ScreenDc {
 public:
  ScreenDc() : dc_(::GetDC(nullptr)) {}
  ~ScreenDc() { ::ReleaseDC(nullptr, dc_); }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace

void SaveWindowPng(HWND hwnd, const std::wstring& path) {
  RECT r{};
  if (!::GetWindowRect(hwnd, &r)) throw std::runtime_error("SaveWindowPng: no such window");
  const int w = r.right - r.left, h = r.bottom - r.top;
  ScreenDc screen;
  base::UniqueMemoryDc mem(::CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  base::UniqueGdiObject bitmap(
      ::CreateDIBSection(mem.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) throw std::runtime_error("SaveWindowPng: no bitmap");
  const HGDIOBJ old = ::SelectObject(mem.get(), bitmap.get());
  const BOOL copied = ::BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
  ::GdiFlush();
  ::SelectObject(mem.get(), old);
  if (!copied) throw std::runtime_error("SaveWindowPng: BitBlt failed");

  // BGRX to RGB.
  const auto* px = static_cast<const std::uint8_t*>(bits);
  std::vector<std::uint8_t> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
  for (size_t i = 0, n = static_cast<size_t>(w) * static_cast<size_t>(h); i < n; ++i) {
    rgb[i * 3] = px[i * 4 + 2];
    rgb[i * 3 + 1] = px[i * 4 + 1];
    rgb[i * 3 + 2] = px[i * 4];
  }
  const std::string png = EncodePng(w, h, rgb);
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) throw std::runtime_error("SaveWindowPng: cannot create the file");
  const bool ok = std::fwrite(png.data(), 1, png.size(), out) == png.size();
  if (std::fclose(out) != 0 || !ok) throw std::runtime_error("SaveWindowPng: write failed");
}

}  // namespace orvek::test
