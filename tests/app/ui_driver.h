// Driving the installer window of another process through the names its
// controls carry ("OrvekName" and "OrvekSkin" window properties, global atoms).
#pragma once

#include <windows.h>

#include <string>

namespace orvek::test {

// The child control of `top` (any depth) named `name`, or nullptr.
HWND FindControl(HWND top, const std::wstring& name);

// The control's name; for the real EDIT inside an edit box, the edit box's.
// "" for windows that are not controls of the installer.
std::wstring ControlName(HWND control);

// The control's current skin item name ("" when it has none).
std::wstring ControlSkinItem(HWND control);

// The control's text; for an edit box, the text of the edit inside it.
std::wstring ControlText(HWND control);

// Clicks the control with the left mouse button (labels used as links),
// and waits until its window has handled it.
void ClickControl(HWND control);

// Presses the control as the Space key does, and waits until its window
// has handled it.
void PressControl(HWND control);

// Presses and releases `key` on the keyboard (SendInput): it goes where a
// person's key goes, to the focused control of the window in front.
void PressKey(WORD key);

// The control that has the keyboard focus in `top`'s thread, or nullptr.
HWND FocusedControl(HWND top);

}  // namespace orvek::test
