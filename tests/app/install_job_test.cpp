// The install job over a recording view: the outcomes that end before
// anything is installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/install_job.h"
#include "log/logs.h"
#include "support/scratch_dir.h"
#include "window_fixture.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;
using namespace orvek::app;

// Records what the job shows, in order.
class RecordingView : public InstallView {
 public:
  void ShowPage(TInstallPage page, const std::wstring& msg, bool error) override {
    calls.push_back(L"page" + std::to_wstring(page) + (error ? L" error " : L" ") + msg);
  }
  void SetProgressText(const std::wstring& text) override { calls.push_back(L"text " + text); }
  void ShowProgress(int percent) override { calls.push_back(L"progress " + std::to_wstring(percent)); }
  void SetEnvCheckVisible(bool visible) override { calls.push_back(visible ? L"env shown" : L"env hidden"); }
  std::vector<std::wstring> calls;
};

class InstallJobTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { orvek::log::ConfigureLog(); }
};

TEST_F(InstallJobTest, ATargetThatCannotBeCreatedEndsOnTheFailedPage) {
  LogFileTail log;
  RecordingView view;
  for (const std::wstring target : {L"Q:\\nowhere\\orvek\\orvekteacher", L"  "}) {
    view.calls.clear();
    InstallRequest request;
    request.target_text = target;
    request.uninstall_v49 = L"C:\\must-not-be-touched\\";
    RunInstallJob(request, view);
    ASSERT_EQ(view.calls.size(), 1u);
    EXPECT_EQ(view.calls[0], L"page3 error 无效的安装目录，请关闭当前程序，重新安装！");
  }
  const std::string text = log.Appended();
  EXPECT_NE(text.find("mkdir install path error, Q:\\nowhere\\orvek\\orvekteacher"), std::string::npos);
  EXPECT_EQ(text.find("begin to uninstall oldversion"), std::string::npos) << "nothing was removed";
}

TEST_F(InstallJobTest, AMissingPayloadOffsetAsksForARetryAndAnUnreadableInstallerFails) {
  ScratchDir dir;
  const fs::path installer = dir.path() / L"setup.exe";
  std::ofstream(installer, std::ios::binary) << std::string(512, '\0');  // offset 0
  // An earlier generation at another place: removed first, with its text.
  const fs::path old = dir.path() / L"orvek" / L"old";
  fs::create_directories(old / L"bin");
  std::ofstream(old / L"bin" / L"client.exe") << "old client";
  InstallRequest request;
  request.target_text = (dir.path() / L"orvek" / L"orvekteacher").wstring();
  request.uninstall_v49 = old.wstring() + L"\\";
  request.payload.installer_path = installer.wstring();
  RecordingView view;
  RunInstallJob(request, view);
  ASSERT_EQ(view.calls.size(), 3u);
  EXPECT_EQ(view.calls[0], L"text 正在卸载旧版本...");
  EXPECT_EQ(view.calls[1], L"text 正在安装...");
  EXPECT_EQ(view.calls[2], L"page1 error 请关闭当前程序，重新安装！");
  // Taken back before the retry is offered: the earlier generation is in
  // place again, the target made for the job is gone.
  EXPECT_FALSE(fs::exists(request.target_text));
  EXPECT_TRUE(fs::exists(old / L"bin" / L"client.exe"));
  EXPECT_FALSE(fs::exists(old.wstring() + L".orvek-previous"));

  // An offset beyond the file: the copy fails, the job ends on the failed page.
  std::fstream patch(installer, std::ios::binary | std::ios::in | std::ios::out);
  patch.seekp(128);
  patch.write("\x00\x10\x00\x00", 4);
  patch.close();
  LogFileTail log;
  view.calls.clear();
  request.uninstall_v49.clear();
  RunInstallJob(request, view);
  ASSERT_FALSE(view.calls.empty());
  EXPECT_EQ(view.calls.back(), L"page3 error 安装异常，请关闭当前程序重新安装！");
  EXPECT_NE(log.Appended().find("install failed, "), std::string::npos);
}

}  // namespace
}  // namespace orvek::test
