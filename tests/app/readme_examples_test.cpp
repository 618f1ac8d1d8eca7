// Every example of the README's section for administrators, run as printed
// (README.md, "Working on it", says which they are and what must hold), so
// the documentation cannot drift from the program. The one adjustment: Wine's
// cmd cannot start a program from a share, so a command that starts
// "\\fileserver\deploy\" starts from a drive letter mapped to that share.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "base/unicode.h"
#include "readme_examples.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/wine_links.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kUninstallKey = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring Expanded(const std::wstring& text) {
  wchar_t out[MAX_PATH * 2] = {};
  ::ExpandEnvironmentStringsW(text.c_str(), out, MAX_PATH * 2);
  return out;
}

class ReadmeExamplesTest : public ::testing::Test {
 protected:
  void SetUp() override { Forget(); }
  void TearDown() override { Forget(); }

  // No client installed, no entry: the examples meet a fresh machine.
  static void Forget() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY, 0);
    std::error_code ec;
    fs::remove_all(Expanded(L"%ProgramFiles(x86)%\\orvek"), ec);
    fs::remove(L"C:\\plan.log", ec);
    fs::remove(Expanded(L"%SystemRoot%\\Temp\\orvek-install.log"), ec);
    fs::remove(L"C:\\Orvek教师客户端.lnk", ec);
    fs::remove(Expanded(L"%PUBLIC%\\Desktop\\Orvek教师客户端.lnk"), ec);
    fs::remove_all(Expanded(L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Orvek"), ec);
  }

  ScratchDir dir_;
  const fs::path deploy_ = dir_.path() / L"fileserver" / L"deploy";
  const fs::path logs_ = dir_.path() / L"fileserver" / L"logs";
};

TEST_F(ReadmeExamplesTest, EveryAdministratorsExampleRunsAsPrinted) {
  const std::vector<ReadmeExample> examples = ReadmeExamples();
  ASSERT_GE(examples.size(), 2u) << "the section or its examples were not found";
  fs::create_directories(deploy_);
  fs::create_directories(logs_);
  const ScopedServer server(L"fileserver", (dir_.path() / L"fileserver").wstring());
  const ScopedDrive deploy_drive(L'U', deploy_.wstring());
  wchar_t cmd[MAX_PATH] = {};
  ::GetSystemDirectoryW(cmd, MAX_PATH);
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ::SetCurrentDirectoryW(dir_.path().c_str());

  for (size_t i = 0; i < examples.size(); ++i) {
    const std::string& example = examples[i].text;
    SCOPED_TRACE("example " + std::to_string(i + 1) + ":\n" + example);
    // Each meets a machine without the client: a silent run installs for
    // all users, which the next example's detection would find.
    Forget();
    // The sample installer under every name the example uses, here and on the share.
    const std::regex installer("orvek-setup-[A-Za-z0-9._-]*\\.exe");
    for (std::sregex_iterator it(example.begin(), example.end(), installer), end; it != end; ++it) {
      for (const fs::path& folder : {dir_.path(), deploy_}) {
        fs::copy_file(WindowsPath(ORVEK_SAMPLE_INSTALLER), folder / it->str(), fs::copy_options::overwrite_existing);
      }
    }
    const fs::path batch = dir_.path() / ("example-" + std::to_string(i + 1) + ".bat");
    std::ofstream(batch, std::ios::binary) << StartingFromDriveU(example);
    std::cout << "README example " << i + 1 << ":\n" << example;

    const auto run = [&] {
      return ChildProcess::Start(std::wstring(cmd) + L"\\cmd.exe", {L"/c", batch.wstring()}).WaitForExit(120000);
    };
    EXPECT_EQ(run(), 0u);
    std::vector<std::string> logs;
    const std::regex log_switch(R"(/LOG=([^ "\r\n]+))");
    for (std::sregex_iterator it(example.begin(), example.end(), log_switch), end; it != end; ++it) {
      logs.push_back(ReadAll(Expanded(base::WideFromUtf8((*it)[1].str()))));
      EXPECT_NE(logs.back().find(" end, 0 success"), std::string::npos) << (*it)[1].str() << ":\n" << logs.back();
    }
    // A deployment script runs at every start-up: once the client is there,
    // its detection leaves the installer unstarted (a run would renew the log).
    if (!examples[i].script) continue;
    EXPECT_EQ(run(), 0u);
    size_t n = 0;
    for (std::sregex_iterator it(example.begin(), example.end(), log_switch), end; it != end; ++it) {
      EXPECT_EQ(ReadAll(Expanded(base::WideFromUtf8((*it)[1].str()))), logs[n++]) << "installed again";
    }
  }
  ::SetCurrentDirectoryW(previous);
}

}  // namespace
}  // namespace orvek::test
