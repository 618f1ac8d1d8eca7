// The first page's folder button, in a real window under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>

#include "support/scratch_dir.h"
#include "support/top_windows.h"
#include "window_fixture.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;
using app::TfrmTeacherMain;

class FolderButtonTest : public MainWindowTest {
 protected:
  void TearDown() override {
    TfrmTeacherMain::SetFolderChooserForTesting(nullptr);
    MainWindowTest::TearDown();
  }
  // The browser answers `chosen` and remembers where it was asked to start.
  void Choose(std::optional<std::wstring> chosen) {
    TfrmTeacherMain::SetFolderChooserForTesting([this, chosen](HWND, const std::wstring& start) {
      started_at_ = start;
      return chosen;
    });
    W().btnFolderClick();
  }
  std::wstring started_at_;
};

TEST_F(FolderButtonTest, AChosenFolderGetsTheSubPathEveryTime) {
  const std::wstring first = W().edtInstallDir->Text();
  Choose(L"C:\\");
  EXPECT_EQ(W().edtInstallDir->Text(), L"C:\\orvek\\orvekteacher");
  EXPECT_EQ(started_at_, first.substr(0, first.size() - 18)) << "the target without its sub-path";
  Choose(L"C:\\Games");
  EXPECT_EQ(W().edtInstallDir->Text(), L"C:\\Games\\orvek\\orvekteacher");
  EXPECT_EQ(started_at_, L"C:\\");
  Choose(L"C:\\Games\\orvek\\orvekteacher");
  EXPECT_EQ(started_at_, L"C:\\Games\\");
  EXPECT_EQ(W().edtInstallDir->Text(), L"C:\\Games\\orvek\\orvekteacher\\orvek\\orvekteacher");
  EXPECT_EQ(::GetFocus(), W().btnFolder->Handle());
}

TEST_F(FolderButtonTest, SpaceOnTheChosenDriveDecidesTheButtonAndCancelChangesNothing) {
  Choose(L"Q:\\");  // no such drive: no space at all
  EXPECT_TRUE(W().lblErrorInfo->Visible());
  EXPECT_EQ(W().lblErrorInfo->Text(), L"该磁盘剩余空间不足，请重新选择安装路径！");
  EXPECT_FALSE(W().lblInfo->Visible());
  EXPECT_FALSE(W().btnInstall->Enabled());
  const int height = Height();

  // The licence box alone enables the button again.
  ::SendMessageW(W().chkReadlLicense->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  ::SendMessageW(W().chkReadlLicense->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_TRUE(W().btnInstall->Enabled());
  W().btnInstall->SetEnabled(false);

  // A drive with room enables it even with the licence box cleared.
  ::SendMessageW(W().chkReadlLicense->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  Choose(L"C:\\");
  EXPECT_TRUE(W().btnInstall->Enabled());
  EXPECT_TRUE(W().lblInfo->Visible());
  EXPECT_FALSE(W().lblErrorInfo->Visible());
  EXPECT_EQ(W().lblInfo->Text().rfind(L"磁盘剩余空间：", 0), 0u);
  EXPECT_EQ(Height(), height) << "the options panel is not touched";

  Choose(std::nullopt);
  EXPECT_EQ(W().edtInstallDir->Text(), L"C:\\orvek\\orvekteacher");
}

// The shell's own browser, opened at the target's parent and confirmed.
TEST_F(FolderButtonTest, TheShellBrowserOpensAtTheTargetAndReturnsTheChoice) {
  // Outside the temporary folder, which the browser's tree may not list.
  const fs::path folder = L"C:\\orvek-browser-test";
  fs::create_directories(folder);
  const std::wstring start = folder.wstring();
  W().edtInstallDir->SetText(start + L"\\orvek\\orvekteacher");
  std::atomic<bool> stop{false};
  std::atomic<bool> answered{false};
  std::thread person([&] {
    while (!stop) {
      for (HWND box : VisibleTopWindows(::GetCurrentProcessId())) {
        if (WindowClass(box) != L"#32770") continue;
        answered = true;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      ::Sleep(100);
    }
  });
  W().btnFolderClick();  // modal until the person answers
  stop = true;
  person.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(W().edtInstallDir->Text(), start + L"\\orvek\\orvekteacher");
  EXPECT_TRUE(::IsWindowEnabled(W().Handle())) << "enabled again after the browser";
  fs::remove_all(folder);
}

}  // namespace
}  // namespace orvek::test
