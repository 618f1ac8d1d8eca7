// What a screen reader learns about a skinned control (Active Accessibility,
// which Windows also offers to UI Automation clients).
//
// A skinned control is a window of our own class, so the system can only
// describe it as a client area without name, state or action. Each control
// therefore answers WM_GETOBJECT for its client area with an object that
// says what it is, what it is called, what state it is in and what pressing
// it does; everything else (position, focus, parent, children, navigation)
// comes from the system's standard object for the same window, so the tree
// a reader walks is the one it walks in any Windows program.
//
// oleacc.dll is loaded from the system folder, by full path, at the first
// question, never from beside the installer.
#pragma once

#include <windows.h>

namespace orvek::skin {

// Which window asked: a skinned control itself, or the real EDIT inside an
// edit box (the part that takes the focus), for which only the name is ours.
enum class AccessiblePart { kControl, kEditBox };

// Posted to a control by its accessible object's default action; the control
// then does what a click does. Private to the control's window class.
inline constexpr UINT kDoDefaultActionMessage = WM_USER + 0x100;

// The answer to WM_GETOBJECT(`wparam`, `lparam`) sent to `window`: an
// accessible object for the client area, or 0 for every other object and
// whenever the object cannot be made (the system then answers with its
// standard one). Call on the window's thread, which it puts into a
// single-threaded COM apartment for the rest of its life if it has none:
// readers in other processes call the object through it. Never throws.
LRESULT AnswerGetObject(HWND window, WPARAM wparam, LPARAM lparam, AccessiblePart part) noexcept;

}  // namespace orvek::skin
