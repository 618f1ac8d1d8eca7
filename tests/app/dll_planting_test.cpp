// A DLL named like a system DLL, planted beside the elevated installer, must
// never be loaded into it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <cwchar>

#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

// System DLLs that the installer, or the platform on its behalf, loads at
// run time and that are not Known DLLs on Windows 7 (those, such as imm32,
// always come from the system folder there; Wine has no such list). Left out:
// version.dll, which Wine's own user32 imports while the process loads, long
// before any code of the program runs; Windows' user32 does not.
constexpr const wchar_t* kPlantedNames[] = {
    L"winhttp.dll", L"bcrypt.dll",  L"netapi32.dll", L"msimg32.dll",
    L"uxtheme.dll", L"dwmapi.dll",  L"cryptbase.dll", L"comctl32.dll", L"winmm.dll",
    L"propsys.dll", L"wbemcomn.dll", L"7z.dll"};

class DllPlanting : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : kPlantedNames) {
      fs::copy_file(WindowsPath(ORVEK_CANARY_DLL), dir_.path() / name);
    }
    fs::copy_file(WindowsPath(ORVEK_PLANT_PROBE_EXE), dir_.path() / L"probe.exe");
    fs::copy_file(WindowsPath(ORVEK_SETUP_EXE), dir_.path() / L"orvek-setup.exe");
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ORVEK_CANARY_LOG", log_.c_str()));
    // Wine prefers its built-in system DLLs even when a file of that name
    // lies beside the program; Windows takes the file. Make Wine search the
    // way Windows does for these programs, so a planted file is a real threat.
    for (const wchar_t* exe : {L"probe.exe", L"orvek-setup.exe"}) {
      const std::wstring key = L"Software\\Wine\\AppDefaults\\" + std::wstring(exe) +
                               L"\\DllOverrides";
      HKEY k = nullptr;
      ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &k, nullptr), ERROR_SUCCESS);
      for (const wchar_t* name : kPlantedNames) {
        const std::wstring base = std::wstring(name).substr(0, std::wcslen(name) - 4);
        static const wchar_t kNativeFirst[] = L"native,builtin";
        ::RegSetValueExW(k, base.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                         sizeof kNativeFirst);
      }
      ::RegCloseKey(k);
    }
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"ORVEK_CANARY_LOG", nullptr);
    for (const wchar_t* exe : {L"probe.exe", L"orvek-setup.exe"}) {
      ::RegDeleteTreeW(HKEY_CURRENT_USER,
                       (L"Software\\Wine\\AppDefaults\\" + std::wstring(exe)).c_str());
    }
  }

  std::string CanaryLog() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  DWORD RunProbe(const std::wstring& mode, const std::wstring& dll) {
    ChildProcess probe = ChildProcess::Start((dir_.path() / L"probe.exe").wstring(), {mode, dll});
    return probe.WaitForExit(20000);
  }

  ScratchDir dir_;
  fs::path log_ = dir_.path() / L"canary.log";
};

TEST_F(DllPlanting, TheCanaryIsPickedUpByTheDefaultSearch) {
  // Proves the test can see a planted load at all.
  EXPECT_EQ(RunProbe(L"default", L"winhttp.dll"), 1u);  // the canary refuses to load
  EXPECT_NE(CanaryLog().find("winhttp.dll"), std::string::npos) << CanaryLog();
}

TEST_F(DllPlanting, SystemLibrariesComeFromTheSystemFolderOnly) {
  for (const wchar_t* name : {L"winhttp.dll", L"bcrypt.dll", L"netapi32.dll", L"msimg32.dll"}) {
    EXPECT_EQ(RunProbe(L"installer", name), 0u) << "system copy not loaded";
  }
  EXPECT_EQ(CanaryLog(), "");
}

TEST_F(DllPlanting, TheInstallerLoadsNoPlantedDll) {
  ChildProcess child = ChildProcess::Start((dir_.path() / L"orvek-setup.exe").wstring(), {});
  const HWND window = WaitForTopWindow(
      child.Pid(), [](HWND h) { return WindowClass(h) == L"TfrmTeacherMain"; }, 20000,
      child.Handle());
  ASSERT_NE(window, nullptr) << CanaryLog();
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(child.WaitForExit(20000), 0u);
  EXPECT_EQ(CanaryLog(), "");
}

}  // namespace
}  // namespace orvek::test
