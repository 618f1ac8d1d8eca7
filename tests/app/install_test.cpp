// A whole installation from a packed installer, driven the way a person uses
// the window: press "立即安装", wait for the finished page, press "安装完成".
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstdint>
#include <iterator>

#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"
#include "support/window_capture.h"
#include "support/log_tail.h"
#include "ui_driver.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits until the log says how the installation ended.
std::string WaitForOutcome(const LogTail& log, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  while (::GetTickCount64() < deadline) {
    const std::string text = log.Appended();
    if (text.find("install ok.") != std::string::npos) return "ok";
    if (text.find("install failed, ") != std::string::npos) return text;
    ::Sleep(100);
  }
  return "timeout: " + log.Appended();
}

// A private folder as a run ended during its extraction leaves it: the
// installer's name pattern and protected permissions, a payload copy inside.
fs::path LeaveStalePrivateFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  const fs::path folder = fs::path(temp) / L"orvek-5eedf01d";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                         &descriptor, nullptr);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  ::CreateDirectoryW(folder.c_str(), &attributes);
  ::LocalFree(descriptor);
  std::ofstream(folder / L"orvekteacher-tmp.zip") << "payload copy";
  return folder;
}

fs::path DefaultTarget() {
  wchar_t folder[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"ProgramFiles(x86)", folder, MAX_PATH);
  return fs::path(folder) / L"orvek" / L"orvekteacher";
}

TEST(Install, ThePackedSampleInstallsItsTreeAndFinishes) {
  const fs::path target = DefaultTarget();
  fs::remove_all(target);
  ScratchDir dir;
  const fs::path installer = dir.path() / L"orvek-setup-v6.15.1.exe";
  fs::copy_file(WindowsPath(ORVEK_SAMPLE_INSTALLER), installer);
  LogTail log;
  const fs::path stale = LeaveStalePrivateFolder();
  ASSERT_TRUE(fs::exists(stale / L"orvekteacher-tmp.zip"));

  ChildProcess child = ChildProcess::Start(installer.wstring(), {});
  const HWND window = WaitForTopWindow(
      child.Pid(), [](HWND h) { return WindowClass(h) == L"TfrmTeacherMain"; }, 20000,
      child.Handle());
  ASSERT_NE(window, nullptr);
  // The next run clears what the ended one left.
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(WindowText(FindControl(window, L"lblVersion")), L"版本：v6.15.1");

  PressControl(FindControl(window, L"btnInstall"));
  const std::string outcome = WaitForOutcome(log, 60000);
  ASSERT_EQ(outcome, "ok");
  // Every page is a visible window; only the one in front is seen.
  EXPECT_EQ(::GetWindow(FindControl(window, L"pnlBottom"), GW_CHILD), FindControl(window, L"pnlFinished"));
  EXPECT_EQ(WindowText(FindControl(window, L"lblProgressValue")), L"100%");
  // The sample carries the environment-check tool, so its link shows.
  EXPECT_TRUE(::IsWindowVisible(FindControl(window, L"lblEnvCheck")));

  // Byte-identical to the tree that was packed.
  const fs::path source = WindowsPath(ORVEK_SAMPLE_TREE);
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    if (!entry.is_regular_file()) continue;
    const fs::path installed = target / fs::relative(entry.path(), source);
    EXPECT_EQ(ReadAll(installed), ReadAll(entry.path())) << installed.string();
    ++files;
  }
  EXPECT_EQ(files, 6u);
  const std::string text = log.Appended();
  for (const char* line : {"begin to install...", "begin to analyze zip file...",
                           "UnzipProgressCallback100", "unzip file finished."}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }

  // A picture of the finished page, as the person sees it.
  const fs::path shot = fs::path(WindowsPath(ORVEK_SCREENSHOT_DIR)) / L"install-finished.png";
  fs::create_directories(shot.parent_path());
  SaveWindowPng(window, shot.wstring());
  const std::string png = ReadAll(shot);
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  RECT r{};
  ::GetWindowRect(window, &r);
  const auto be32 = [&](size_t at) {
    return (std::uint32_t(std::uint8_t(png[at])) << 24) | (std::uint32_t(std::uint8_t(png[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(png[at + 2])) << 8) | std::uint32_t(std::uint8_t(png[at + 3]));
  };
  EXPECT_EQ(be32(16), std::uint32_t(r.right - r.left));
  EXPECT_EQ(be32(20), std::uint32_t(r.bottom - r.top));

  // Finish without starting the (sample) client.
  PressControl(FindControl(window, L"chkRunApp"));
  PressControl(FindControl(window, L"btnFinished"));
  EXPECT_EQ(child.WaitForExit(20000), 0u);
  fs::remove_all(target);
}

}  // namespace
}  // namespace orvek::test
