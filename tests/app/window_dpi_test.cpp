// The product's window on a 144-DPI display, driven from outside the process.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"
#include "ui_driver.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kTimeout = 20000;

// A DWORD below HKCU, removed again at scope exit.
class ScopedUserDword {
 public:
  ScopedUserDword(std::wstring key, std::wstring name, DWORD value)
      : key_(std::move(key)), name_(std::move(name)) {
    EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), REG_DWORD, &value,
                                sizeof value),
              ERROR_SUCCESS);
  }
  ~ScopedUserDword() { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str()); }

 private:
  std::wstring key_, name_;
};

SIZE WindowSize(HWND hwnd) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

class WindowAt144Dpi : public ::testing::Test {
 protected:
  ScopedUserDword log_pixels_{L"Control Panel\\Desktop", L"LogPixels", 144};
  ScratchDir dir_;
  fs::path exe_ = dir_.path() / L"orvek-dpi-window.exe";
  void SetUp() override {
    fs::copy_file(WindowsPath(ORVEK_SETUP_EXE), exe_, fs::copy_options::overwrite_existing);
  }
};

TEST_F(WindowAt144Dpi, ScalesTheWidthAndTheOptionsHeightWithIt) {
  const std::wstring tail = L"dpi";
  ChildProcess child = ChildProcess::Start(exe_.wstring(), {}, &tail);
  const HWND window = WaitForTopWindow(
      child.Pid(), [](HWND h) { return WindowClass(h) == L"TfrmTeacherMain"; }, kTimeout, child.Handle());
  ASSERT_NE(window, nullptr);
  // Closed options: FExpandHeight (780 * 460 / 520 = 690) minus the scaled
  // options panel (135 * 1.5, rounded: 203).
  EXPECT_EQ(WindowSize(window).cx, 780);
  EXPECT_EQ(WindowSize(window).cy, 690 - 203);
  const HWND expand = FindControl(window, L"btnExpandAndPickup");
  ASSERT_NE(expand, nullptr);
  EXPECT_EQ(ControlSkinItem(expand), L"btnExpand");
  PressControl(expand);
  EXPECT_EQ(WindowSize(window).cy, 690);
  EXPECT_EQ(ControlSkinItem(expand), L"btnPickup");
  EXPECT_EQ(WindowText(FindControl(window, L"btnInstall")), L"立即安装");
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(child.WaitForExit(kTimeout), 0u);
}

}  // namespace
}  // namespace orvek::test
