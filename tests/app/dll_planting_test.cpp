// A DLL named like a system DLL, planted beside the elevated installer, must
// never be loaded into it.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "base/com_apartment.h"
#include "base/com_ptr.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/log_tail.h"
#include "support/top_windows.h"
#include "ui_driver.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

// The first word of each line of a list of DLL names that is no comment:
// run_time_dlls.txt (loaded at run time) and the manifest's list
// (system_folder_dlls.txt).
std::vector<std::wstring> ReadNames(const char* list_path) {
  std::vector<std::wstring> names;
  std::ifstream list(fs::path(WindowsPath(list_path)));
  for (std::string line; std::getline(list, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::string word = line.substr(0, line.find_first_of(" \t\r"));
    names.emplace_back(word.begin(), word.end());
  }
  return names;
}

// Both lists, each name once.
std::vector<std::wstring> PlantedNames() {
  std::vector<std::wstring> names = ReadNames(ORVEK_RUN_TIME_DLLS);
  for (const std::wstring& name : ReadNames(ORVEK_SYSTEM_FOLDER_DLLS)) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

class DllPlanting : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(!run_time_.empty() && names_.size() > run_time_.size()) << "a list was not read";
    for (const std::wstring& name : names_) {
      fs::copy_file(WindowsPath(ORVEK_CANARY_DLL), dir_.path() / name);
    }
    fs::copy_file(WindowsPath(ORVEK_PLANT_PROBE_EXE), dir_.path() / L"probe.exe");
    fs::copy_file(WindowsPath(ORVEK_SETUP_EXE), dir_.path() / L"orvek-setup.exe");
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ORVEK_CANARY_LOG", log_.c_str()));
    // Wine prefers its built-in system DLLs even when a file of that name
    // lies beside the program; Windows takes the file. Make Wine search the
    // way Windows does for these programs, so a planted file is a real threat.
    // The probe has no manifest: with version.dll taken from its folder it
    // would not even start, so it prefers only the run-time names.
    for (const auto& [exe, names] : {std::pair{L"probe.exe", &run_time_}, std::pair{L"orvek-setup.exe", &names_}}) {
      const std::wstring key = L"Software\\Wine\\AppDefaults\\" + std::wstring(exe) +
                               L"\\DllOverrides";
      HKEY k = nullptr;
      ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &k, nullptr), ERROR_SUCCESS);
      for (const std::wstring& name : *names) {
        const std::wstring base = name.substr(0, name.size() - 4);
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

  const std::vector<std::wstring> run_time_ = ReadNames(ORVEK_RUN_TIME_DLLS);
  const std::vector<std::wstring> names_ = PlantedNames();
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
  // A screen reader's question makes the installer load oleacc.dll.
  const base::ScopedCoInitialize com;
  base::ComPtr<IAccessible> object;
  IAccessible** slot = object.put();
  EXPECT_EQ(::AccessibleObjectFromWindow(FindControl(window, L"btnInstall"), OBJID_CLIENT, IID_PPV_ARGS(slot)), S_OK);
  object.reset();
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(child.WaitForExit(20000), 0u);
  EXPECT_EQ(CanaryLog(), "");
}

// The planted DLLs change nothing: the packed installer installs and ends.
TEST_F(DllPlanting, TheInstallerInstallsWithPlantedDllsBesideIt) {
  wchar_t programs[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"ProgramFiles(x86)", programs, MAX_PATH);
  const fs::path target = fs::path(programs) / L"orvek" / L"orvekteacher";
  fs::remove_all(target);
  fs::copy_file(WindowsPath(ORVEK_SAMPLE_INSTALLER), dir_.path() / L"orvek-setup.exe",
                fs::copy_options::overwrite_existing);
  LogTail log;
  ChildProcess child = ChildProcess::Start((dir_.path() / L"orvek-setup.exe").wstring(), {});
  const HWND window = WaitForTopWindow(
      child.Pid(), [](HWND h) { return WindowClass(h) == L"TfrmTeacherMain"; }, 20000,
      child.Handle());
  ASSERT_NE(window, nullptr) << CanaryLog();
  PressControl(FindControl(window, L"btnInstall"));
  const ULONGLONG deadline = ::GetTickCount64() + 60000;
  while (log.Appended().find("install ok.") == std::string::npos && ::GetTickCount64() < deadline) ::Sleep(100);
  EXPECT_NE(log.Appended().find("install ok."), std::string::npos) << log.Appended();
  PressControl(FindControl(window, L"chkRunApp"));
  PressControl(FindControl(window, L"btnFinished"));
  EXPECT_EQ(child.WaitForExit(20000), 0u);
  EXPECT_EQ(CanaryLog(), "");
  fs::remove_all(target);
}

}  // namespace
}  // namespace orvek::test
