// Screenshots of a window as a person sees it on the screen.
#pragma once

#include <windows.h>

#include <string>

namespace orvek::test {

// Copies the window's screen area and writes it as a PNG file. Throws
// std::runtime_error when the capture or the write fails.
void SaveWindowPng(HWND hwnd, const std::wstring& path);

}  // namespace orvek::test
