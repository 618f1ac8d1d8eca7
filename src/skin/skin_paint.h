// GDI drawing shared by the skinned controls. Every function draws into a
// memory DC the caller owns and restores what it selects.
#pragma once

#include <windows.h>

#include <string>

#include "skin/skin_data.h"

namespace orvek::skin {

// Top-to-bottom gradient from `top` to `bottom` over `r`.
void FillGradient(HDC dc, const RECT& r, Colour top, Colour bottom);

// A filled rectangle with rounded corners of `radius` and an optional border
// of `border_width` pixels.
void FillRounded(HDC dc, const RECT& r, int radius, Colour fill, Colour border, int border_width);

// The small drawings named by an item's "glyph": "chevron-down", "chevron-up",
// "folder", "check", "minimise", "rollup". Unknown names draw nothing.
void DrawGlyph(HDC dc, const RECT& r, const std::wstring& glyph, Colour colour, int scale_dpi);

}  // namespace orvek::skin
