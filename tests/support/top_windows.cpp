#include "support/top_windows.h"

namespace orvek::test {

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring WindowClass(HWND hwnd) {
  wchar_t name[256] = {};
  ::GetClassNameW(hwnd, name, 256);
  return name;
}

std::vector<HWND> VisibleTopWindows(DWORD pid) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid, {}};
  ::EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->pid && ::IsWindowVisible(hwnd)) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForTopWindow(DWORD pid, const std::function<bool(HWND)>& match, DWORD timeout_ms,
                      HANDLE process) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  while (::GetTickCount64() < deadline) {
    for (HWND hwnd : VisibleTopWindows(pid)) {
      if (match(hwnd)) return hwnd;
    }
    if (process && ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return nullptr;
    ::Sleep(50);
  }
  return nullptr;
}

std::wstring MessageBoxText(HWND box) {
  // The text of a platform message box is its static control with id 0xFFFF.
  const HWND label = ::GetDlgItem(box, 0xFFFF);
  return label ? WindowText(label) : std::wstring();
}

std::optional<std::wstring> AnswerMessageBox(DWORD pid, const std::wstring& caption,
                                             int button_id, DWORD timeout_ms) {
  const HWND box = WaitForTopWindow(
      pid, [&](HWND h) { return WindowClass(h) == L"#32770" && WindowText(h) == caption; },
      timeout_ms);
  if (!box) return std::nullopt;
  std::wstring text = MessageBoxText(box);
  const HWND button = ::GetDlgItem(box, button_id);
  if (button) {
    ::SendMessageW(button, BM_CLICK, 0, 0);
  } else {
    ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button_id), 0);
  }
  return text;
}

}  // namespace orvek::test
