// The product executable started the way a person starts it, under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"
#include "support/window_capture.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

const std::wstring kProduct = WindowsPath(ORVEK_SETUP_EXE);
constexpr const wchar_t* kCaption = L"Orvek教师客户端";
constexpr DWORD kTimeout = 20000;

// Writes a string value below HKCU and removes it again at scope exit.
class ScopedUserValue {
 public:
  ScopedUserValue(std::wstring key, std::wstring name, const void* data, DWORD size, DWORD type)
      : key_(std::move(key)), name_(std::move(name)) {
    HKEY k = nullptr;
    EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &k, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(k, name_.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    ::RegCloseKey(k);
  }
  ~ScopedUserValue() { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str()); }

 private:
  std::wstring key_, name_;
};

// Wine reports the version configured for an executable's file name, so each
// test runs its own copy of the product under a name of its own.
fs::path CopyProduct(const fs::path& dir, const std::wstring& name) {
  const fs::path target = dir / name;
  fs::copy_file(kProduct, target, fs::copy_options::overwrite_existing);
  return target;
}

ScopedUserValue ReportWindowsVersion(const std::wstring& exe_name, const std::wstring& version) {
  return ScopedUserValue(L"Software\\Wine\\AppDefaults\\" + exe_name, L"Version", version.c_str(),
                         static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)), REG_SZ);
}

bool IsMainWindow(HWND hwnd) {
  return WindowClass(hwnd) == L"TfrmTeacherMain" && WindowText(hwnd) == kCaption;
}

// Closes the main window as the system close command does and expects a clean end.
void CloseAndExpectExit(ChildProcess& child, HWND window) {
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(child.WaitForExit(kTimeout), 0u);
}

TEST(Startup, OnWindows7TheMainWindowAppears) {
  ScratchDir dir;
  const auto exe = CopyProduct(dir.path(), L"orvek-win7.exe");
  auto version = ReportWindowsVersion(L"orvek-win7.exe", L"win7");
  ChildProcess child = ChildProcess::Start(exe.wstring(), {});
  const HWND window = WaitForTopWindow(child.Pid(), IsMainWindow, kTimeout, child.Handle());
  ASSERT_NE(window, nullptr) << "no main window";
  // Frameless: no platform caption or border.
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0);
  CloseAndExpectExit(child, window);
}

TEST(Startup, OnWindowsXpOnlyTheRefusalBoxAppears) {
  ScratchDir dir;
  const auto exe = CopyProduct(dir.path(), L"orvek-xp.exe");
  auto version = ReportWindowsVersion(L"orvek-xp.exe", L"winxp");
  ChildProcess child = ChildProcess::Start(exe.wstring(), {});
  const HWND box = WaitForTopWindow(
      child.Pid(), [](HWND h) { return WindowText(h) == L"错误"; }, kTimeout, child.Handle());
  ASSERT_NE(box, nullptr) << "no refusal message box";
  EXPECT_EQ(::GetWindow(box, GW_OWNER), nullptr) << "the box must have no owner window";
  for (HWND other : VisibleTopWindows(child.Pid())) {
    EXPECT_EQ(other, box) << "unexpected window of class " << other;
  }
  EXPECT_EQ(AnswerMessageBox(child.Pid(), L"错误", IDOK, kTimeout),
            L"XP系统暂不支持，请在Windows7及以上系统下使用！");
  // Nothing else comes up between the box's closing and the process's end
  // (once it has ended, no window can be seen anyway).
  const ULONGLONG deadline = ::GetTickCount64() + kTimeout;
  while (child.WaitForExit(0) == STILL_ACTIVE && ::GetTickCount64() < deadline) {
    for (HWND other : VisibleTopWindows(child.Pid())) {
      if (other != box) ADD_FAILURE() << "window after the box: " << other;
    }
    ::Sleep(10);
  }
  EXPECT_EQ(child.WaitForExit(kTimeout), 0u);
}

// A deployment tool's packager asks the file what it takes: a box answers,
// and nothing is installed; asked along with /S, nothing shows at all.
TEST(Startup, HelpIsOneBoxAndChangesNothing) {
  ScratchDir dir;
  const auto exe = CopyProduct(dir.path(), L"orvek-help.exe");
  auto version = ReportWindowsVersion(L"orvek-help.exe", L"win7");
  const fs::path target = dir.path() / L"orvek-help-target";
  const std::wstring tail = L"/? /DIR=" + QuoteArgument(target.wstring());
  ChildProcess child = ChildProcess::Start(exe.wstring(), {}, &tail);
  constexpr const wchar_t* kHelpCaption = L"Orvek教师客户端安装程序 - 命令行参数";
  const HWND box = WaitForTopWindow(
      child.Pid(), [&](HWND h) { return WindowText(h) == kHelpCaption; }, kTimeout, child.Handle());
  ASSERT_NE(box, nullptr) << "no help box";
  for (HWND other : VisibleTopWindows(child.Pid())) EXPECT_EQ(other, box) << "window of class " << WindowClass(other);
  // Shown is not yet painted, and Wine hands what the box painted to the X
  // server a little later: the picture is the one that stays the same.
  const fs::path shot = fs::path(WindowsPath(ORVEK_SCREENSHOT_DIR)) / L"help-box.png";
  fs::create_directories(shot.parent_path());
  std::string picture, previous;
  for (int tries = 0; tries < 100 && (picture.empty() || picture != previous); ++tries) {
    ::Sleep(100);
    previous = std::move(picture);
    SaveWindowPng(box, shot.wstring());
    std::ifstream in(shot, std::ios::binary);
    picture.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::optional<std::wstring> text = AnswerMessageBox(child.Pid(), kHelpCaption, IDOK, kTimeout);
  ASSERT_TRUE(text.has_value());
  for (const wchar_t* named : {L"/S（/SILENT", L"/CURRENTUSER", L"/NORESTART", L"\n1639  ", L"\n4607  "}) {
    EXPECT_NE(text->find(named), std::wstring::npos) << named;
  }
  EXPECT_EQ(child.WaitForExit(kTimeout), 0u);

  const std::wstring silent_tail = L"/S -HELP /DIR=" + QuoteArgument(target.wstring());
  ChildProcess silent = ChildProcess::Start(exe.wstring(), {}, &silent_tail);
  while (silent.WaitForExit(0) == STILL_ACTIVE) {
    EXPECT_TRUE(VisibleTopWindows(silent.Pid()).empty());
    ::Sleep(10);
  }
  EXPECT_EQ(silent.WaitForExit(kTimeout), 0u);
  EXPECT_FALSE(fs::exists(target));
}

TEST(Startup, ServerVersion52PassesTheGate) {
  ScratchDir dir;
  const auto exe = CopyProduct(dir.path(), L"orvek-2003.exe");
  auto version = ReportWindowsVersion(L"orvek-2003.exe", L"win2003");
  ChildProcess child = ChildProcess::Start(exe.wstring(), {});
  const HWND window = WaitForTopWindow(child.Pid(), IsMainWindow, kTimeout, child.Handle());
  ASSERT_NE(window, nullptr);
  CloseAndExpectExit(child, window);
}

// The "dpi" switch shows in the window's size on a 144-DPI display: a
// DPI-aware process scales its 520-pixel design width to 780, an unaware one
// leaves the scaling to the platform (Wine does none).
class DpiSwitch : public ::testing::Test {
 protected:
  static constexpr DWORD kDpi = 144;
  ScopedUserValue log_pixels_{L"Control Panel\\Desktop", L"LogPixels", &kDpi, sizeof kDpi,
                              REG_DWORD};
  ScratchDir dir_;
  fs::path exe_ = CopyProduct(dir_.path(), L"orvek-dpi.exe");
  ScopedUserValue version_ = ReportWindowsVersion(L"orvek-dpi.exe", L"win7");

  LONG WindowWidthWith(const std::wstring& command_line_tail) {
    ChildProcess child = ChildProcess::Start(exe_.wstring(), {}, &command_line_tail);
    const HWND window = WaitForTopWindow(child.Pid(), IsMainWindow, kTimeout, child.Handle());
    if (!window) {
      child.Terminate();
      ADD_FAILURE() << "no main window";
      return -1;
    }
    RECT r{};
    ::GetWindowRect(window, &r);
    CloseAndExpectExit(child, window);
    return r.right - r.left;
  }
};

TEST_F(DpiSwitch, TurnsAwarenessOnForTheWordInAnyCaseOrQuoted) {
  for (const wchar_t* tail : {L"dpi", L"DPI", L"\"dpi\"", L"other Dpi"}) {
    EXPECT_EQ(WindowWidthWith(tail), 780) << tail;
  }
}

TEST_F(DpiSwitch, LeavesTheProcessUnawareOtherwise) {
  for (const wchar_t* tail : {L"", L"-dpi", L"/dpi", L"dpi2"}) {
    EXPECT_EQ(WindowWidthWith(tail), 520) << tail;
  }
}

}  // namespace
}  // namespace orvek::test
