#include "ui_driver.h"

namespace orvek::test {
namespace {

std::wstring AtomProperty(HWND hwnd, const wchar_t* property) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(::GetPropW(hwnd, property)));
  if (!atom) return L"";
  wchar_t text[256] = {};
  return std::wstring(text, ::GlobalGetAtomNameW(atom, text, 256));
}

struct Search {
  const std::wstring* name;
  HWND found;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (AtomProperty(hwnd, L"OrvekName") == *search->name) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindControl(HWND top, const std::wstring& name) {
  Search search{&name, nullptr};
  ::EnumChildWindows(top, &Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring ControlName(HWND control) {
  wchar_t cls[16] = {};
  ::GetClassNameW(control, cls, 16);
  const bool inner_edit = ::lstrcmpiW(cls, L"Edit") == 0;
  return AtomProperty(inner_edit ? ::GetParent(control) : control, L"OrvekName");
}

std::wstring ControlSkinItem(HWND control) { return AtomProperty(control, L"OrvekSkin"); }

std::wstring ControlText(HWND control) {
  const HWND edit = ::FindWindowExW(control, nullptr, L"Edit", nullptr);
  const HWND source = edit ? edit : control;
  wchar_t text[1024] = {};
  ::SendMessageW(source, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

void PressKey(WORD key) {
  INPUT input[2] = {};
  for (INPUT& i : input) {
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = key;
  }
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, input, sizeof(INPUT));
}

HWND FocusedControl(HWND top) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(top, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

void PressControl(HWND control) {
  ::SendMessageW(control, WM_KEYDOWN, VK_SPACE, 0);
}

}  // namespace orvek::test

namespace orvek::test {

void ClickControl(HWND control) {
  ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  ::SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

}  // namespace orvek::test
