#include "skin/skin_paint.h"

#include <algorithm>

#include "base/unique_handle.h"
#include "skin/gdi_selection.h"

namespace orvek::skin {
namespace {

using orvek::base::UniqueGdiObject;

int Channel(Colour c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

int Scaled(int v, int dpi) { return v * dpi / 96; }

void Polyline(HDC dc, const POINT* pts, int n, Colour colour, int width) {
  UniqueGdiObject pen(::CreatePen(PS_SOLID, width, colour));
  Selected sel(dc, pen.get());
  ::Polyline(dc, pts, n);
}

}  // namespace

void FillGradient(HDC dc, const RECT& r, Colour top, Colour bottom) {
  const int h = std::max<int>(1, r.bottom - r.top);
  if (top == bottom) {
    UniqueGdiObject brush(::CreateSolidBrush(top));
    ::FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
    return;
  }
  for (int y = 0; y < h; ++y) {
    const auto mix = [&](int shift) {
      return Channel(top, shift) + (Channel(bottom, shift) - Channel(top, shift)) * y / h;
    };
    UniqueGdiObject brush(::CreateSolidBrush(RGB(mix(0), mix(8), mix(16))));
    const RECT line{r.left, r.top + y, r.right, r.top + y + 1};
    ::FillRect(dc, &line, static_cast<HBRUSH>(brush.get()));
  }
}

void FillRounded(HDC dc, const RECT& r, int radius, Colour fill, Colour border, int border_width) {
  UniqueGdiObject brush(::CreateSolidBrush(fill));
  UniqueGdiObject pen(border_width > 0 ? ::CreatePen(PS_INSIDEFRAME, border_width, border)
                                       : ::CreatePen(PS_SOLID, 1, fill));
  Selected sel_brush(dc, brush.get());
  Selected sel_pen(dc, pen.get());
  if (radius > 0) {
    ::RoundRect(dc, r.left, r.top, r.right, r.bottom, radius * 2, radius * 2);
  } else {
    ::Rectangle(dc, r.left, r.top, r.right, r.bottom);
  }
}

void DrawGlyph(HDC dc, const RECT& r, const std::wstring& glyph, Colour colour, int dpi) {
  const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  const int s = Scaled(4, dpi), w = std::max(1, Scaled(2, dpi) / 1);
  if (glyph == L"chevron-down") {
    const POINT p[] = {{cx - s, cy - s / 2}, {cx, cy + s / 2}, {cx + s + 1, cy - s / 2 - 1}};
    Polyline(dc, p, 3, colour, std::max(1, w / 2 + 1) - 0);
  } else if (glyph == L"chevron-up") {
    const POINT p[] = {{cx - s, cy + s / 2}, {cx, cy - s / 2}, {cx + s + 1, cy + s / 2 + 1}};
    Polyline(dc, p, 3, colour, std::max(1, w / 2 + 1) - 0);
  } else if (glyph == L"check") {
    const POINT p[] = {{cx - s, cy}, {cx - s / 3, cy + s * 2 / 3}, {cx + s, cy - s * 2 / 3}};
    Polyline(dc, p, 3, colour, w);
  } else if (glyph == L"minimise") {
    const POINT p[] = {{cx - s - 1, cy + s / 2}, {cx + s + 1, cy + s / 2}};
    Polyline(dc, p, 2, colour, w);
  } else if (glyph == L"rollup") {
    const POINT p[] = {{cx - s - 1, cy - s}, {cx + s + 1, cy - s}};
    Polyline(dc, p, 2, colour, w);
    const POINT q[] = {{cx - s + 1, cy + s - 1}, {cx, cy - 1}, {cx + s, cy + s}};
    Polyline(dc, q, 3, colour, std::max(1, w / 2 + 1));
  } else if (glyph == L"folder") {
    const int fw = Scaled(14, dpi), fh = Scaled(10, dpi), tab = Scaled(5, dpi);
    const RECT body{cx - fw / 2, cy - fh / 2 + 1, cx + fw / 2, cy + fh / 2 + 1};
    const RECT top{body.left, body.top - Scaled(2, dpi), body.left + tab, body.top + 1};
    FillRounded(dc, top, 1, colour, colour, 0);
    FillRounded(dc, body, 1, colour, colour, 0);
  }
}

}  // namespace orvek::skin
