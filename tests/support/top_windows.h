// Finding the top-level windows of another process.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvek::test {

std::wstring WindowText(HWND hwnd);
std::wstring WindowClass(HWND hwnd);

// Visible top-level windows owned by process `pid`.
std::vector<HWND> VisibleTopWindows(DWORD pid);

// Polls until a visible top-level window of `pid` satisfies `match`, or the
// process ends, or `timeout_ms` passes. Returns nullptr when none appeared.
HWND WaitForTopWindow(DWORD pid, const std::function<bool(HWND)>& match, DWORD timeout_ms,
                      HANDLE process = nullptr);

// The text of the static control of a platform message box.
std::wstring MessageBoxText(HWND box);

// Waits for a platform message box of `pid` captioned `caption` and presses
// its button `button_id` (IDOK, IDYES, ...) as a person would. Returns the
// box's text, or nullopt when no such box came up within `timeout_ms`.
std::optional<std::wstring> AnswerMessageBox(DWORD pid, const std::wstring& caption,
                                             int button_id, DWORD timeout_ms);

}  // namespace orvek::test
