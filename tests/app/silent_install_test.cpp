// Unattended installations as a deployment tool runs them: the packed
// sample installer with switches, no window ever, an exit code that says
// how it ended.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/drive_fill.h"
#include "support/log_tail.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"
#include "system/temp_directory.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kUninstallKey = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher";

constexpr const wchar_t* kKeyV50 =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\9d2b61e4-58a3-5c07-b1f8-3e6a0c4d7b92";
constexpr const wchar_t* kProductKeyV50 = L"Software\\9d2b61e4-58a3-5c07-b1f8-3e6a0c4d7b92";
constexpr const wchar_t* kShellFolders = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const wchar_t* kLink = L"Orvek教师客户端.lnk";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A value of `key` in the 32-bit view, as the installer writes it; a DWORD
// in decimal; empty when missing.
std::wstring RegistryString(HKEY root, const std::wstring& key, const std::wstring& name) {
  HKEY k = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &k) != ERROR_SUCCESS) return L"";
  wchar_t value[1024] = {};
  DWORD size = sizeof value, type = 0;
  const bool read = ::RegGetValueW(k, nullptr, name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, value,
                                   &size) == ERROR_SUCCESS;
  ::RegCloseKey(k);
  if (!read) return L"";
  DWORD number = 0;
  std::memcpy(&number, value, sizeof number);
  return type == REG_DWORD ? std::to_wstring(number) : value;
}

fs::path CommonFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// Every window of `pid`: top-level ones, hidden included, and message-only
// ones. COM's own hidden window is left out: the machine description asks
// WMI's scripting objects, which COM hosts on a thread of its own with that
// window, in a silent run as in any other.
std::set<std::wstring> WindowsOf(DWORD pid) {
  std::vector<HWND> all;
  ::EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  for (HWND h = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
       h = ::FindWindowExW(HWND_MESSAGE, h, nullptr, nullptr)) {
    all.push_back(h);
  }
  std::set<std::wstring> found;
  for (HWND hwnd : all) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == pid && WindowClass(hwnd) != L"OleMainThreadWndClass") {
      found.insert(WindowClass(hwnd) + L" \"" + WindowText(hwnd) + L"\"");
    }
  }
  return found;
}

// Every file of the packed sample tree, compared with what was installed.
void ExpectSampleTree(const fs::path& target) {
  const fs::path source = WindowsPath(ORVEK_SAMPLE_TREE);
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    if (!entry.is_regular_file()) continue;
    const fs::path installed = target / fs::relative(entry.path(), source);
    EXPECT_EQ(ReadAll(installed), ReadAll(entry.path())) << installed.string();
    ++files;
  }
  EXPECT_EQ(files, 8u);
}

bool JournalExists() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\orvek-teacher-install", 0, KEY_READ | KEY_WOW64_32KEY,
                      &key) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

struct Outcome {
  DWORD code = STILL_ACTIVE;
  std::set<std::wstring> windows;  // every window the process had while it ran
  std::string log;                 // what it appended to the usual log
};

std::string Join(const std::set<std::wstring>& windows) {
  std::string text;
  for (const auto& w : windows) text += std::string(w.begin(), w.end()) + "; ";
  return text;
}

class SilentInstallTest : public ::testing::Test {
 protected:
  void SetUp() override { Forget(); }
  void TearDown() override { Forget(); }

  void Forget() {
    for (const wchar_t* key : {kUninstallKey, kKeyV50, kProductKeyV50}) ::RegDeleteTreeW(HKEY_CURRENT_USER, key);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY, 0);
    HKEY software = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &software) == 0) {
      ::RegDeleteTreeW(software, L"orvek-teacher-install");
      ::RegCloseKey(software);
    }
    std::error_code ec;
    fs::remove_all(Target().parent_path(), ec);
    fs::remove(fs::path(RegistryString(HKEY_CURRENT_USER, kShellFolders, L"Desktop")) / kLink, ec);
    fs::remove(fs::path(L"C:\\") / kLink, ec);
    fs::remove(CommonFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / kLink, ec);
    fs::remove_all(CommonFolder(CSIDL_COMMON_PROGRAMS) / L"Orvek", ec);
  }

  // A directory with blanks, outside the program folder.
  static fs::path Target() { return L"C:\\Orvek Silent Test\\teacher client"; }
  // One the removal guard accepts, and where its earlier tree waits aside.
  static fs::path UpgradeTarget() { return L"C:\\Orvek Silent Test\\orvek client"; }
  static fs::path Aside() { return UpgradeTarget().wstring() + L".orvek-previous"; }
  static std::wstring UpgradeArgs() { return L"/S /D=" + UpgradeTarget().wstring(); }

  fs::path Installer() {
    const fs::path installer = dir_.path() / L"orvek-setup-v6.15.1.exe";
    if (!fs::exists(installer)) fs::copy_file(WindowsPath(ORVEK_SAMPLE_INSTALLER), installer);
    return installer;
  }

  // A copy of the sample installer with another package version, which the
  // stand-in version service answers in its own way (tests/net/CMakeLists.txt).
  fs::path InstallerWithVersion(const wchar_t* name, const char (&version)[12]) {
    const fs::path installer = dir_.path() / name;
    fs::copy_file(Installer(), installer);
    std::fstream out(installer, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(132);
    out.write(version, 11);
    return installer;
  }

  // Runs `installer` with the command line tail `args`, watching its windows
  // until it ends.
  static Outcome Run(const fs::path& installer, const std::wstring& args, DWORD timeout_ms = 90000) {
    LogTail log;
    ChildProcess child = ChildProcess::Start(installer.wstring(), {}, &args);
    Outcome outcome;
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    while (::WaitForSingleObject(child.Handle(), 10) == WAIT_TIMEOUT && ::GetTickCount64() < deadline) {
      for (const auto& w : WindowsOf(child.Pid())) outcome.windows.insert(w);
    }
    outcome.code = child.WaitForExit(0);
    outcome.log = log.Appended();
    return outcome;
  }

  ScratchDir dir_;
};

TEST_F(SilentInstallTest, InstallsIntoATargetWithBlanksWithoutAnyWindow) {
  const size_t recorded = ReadAll(WindowsPath(ORVEK_STAND_IN_RECORD)).size();
  const Outcome run = Run(Installer(), L"/S /NOSTARTMENU /D=" + Target().wstring());
  EXPECT_EQ(run.code, 0u) << run.log;
  EXPECT_TRUE(run.windows.empty()) << Join(run.windows);

  // The same tree and entry as a windowed installation, in the given
  // directory itself (no sub-path appended).
  ExpectSampleTree(Target());
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"),
            (Target() / L"uninstall.exe").wstring());
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"DisplayIcon"),
            (Target() / L"orvekclient.exe").wstring());
  // The shortcuts the options ask for: desktop and drive root, no start menu.
  const fs::path desktop = RegistryString(HKEY_CURRENT_USER, kShellFolders, L"Desktop");
  const fs::path programs = RegistryString(HKEY_CURRENT_USER, kShellFolders, L"Programs");
  EXPECT_TRUE(fs::exists(desktop / kLink));
  EXPECT_TRUE(fs::exists(fs::path(L"C:\\") / kLink));
  EXPECT_FALSE(fs::exists(programs / L"Orvek" / kLink));
  // The install event reached the service before the process ended.
  const std::string record = ReadAll(WindowsPath(ORVEK_STAND_IN_RECORD)).substr(recorded);
  size_t events = 0;
  for (size_t at = record.find(".def.app.install"); at != std::string::npos;
       at = record.find(".def.app.install", at + 1)) {
    const size_t begin = record.rfind('\n', at) + 1;
    if (record.substr(begin, record.find('\n', at) - begin).find("Orvek Silent Test") != std::string::npos) {
      ++events;
    }
  }
  EXPECT_EQ(events, 1u);
  for (const char* line : {"silent install begin, ", "begin to install...", "UnzipProgressCallback100",
                           "install ok.", "silent install end, 0 success"}) {
    EXPECT_NE(run.log.find(line), std::string::npos) << line << "\n" << run.log;
  }
}

// Each refusal ends with its documented code, never with a window or a box.
TEST_F(SilentInstallTest, RefusalsEndWithTheirCodesAndNoWindow) {
  const fs::path installer = Installer();
  const fs::path damaged = dir_.path() / L"damaged.exe";
  fs::copy_file(installer, damaged);
  {
    // The archive's end is gone: cut the file a little after the payload
    // offset stored at byte 128.
    std::int32_t offset = 0;
    std::ifstream in(damaged, std::ios::binary);
    in.seekg(128);
    in.read(reinterpret_cast<char*>(&offset), sizeof offset);
    in.close();
    ASSERT_GT(offset, 0);
    fs::resize_file(damaged, static_cast<std::uintmax_t>(offset) + 64);
  }
  // Wine reports Windows XP to this file name only.
  const fs::path xp = dir_.path() / L"orvek-xp-silent.exe";
  fs::copy_file(installer, xp);
  const std::wstring xp_key = L"Software\\Wine\\AppDefaults\\orvek-xp-silent.exe";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, xp_key.c_str(), L"Version", REG_SZ, L"winxp", 12), ERROR_SUCCESS);
  // The stand-in version service retires the package version v1.0.0-old.
  const fs::path retired = dir_.path() / L"retired.exe";
  fs::copy_file(installer, retired);
  {
    std::fstream out(retired, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(132);
    out.write("v1.0.0-old\0", 11);
  }
  const fs::path file = dir_.path() / L"a file";
  std::ofstream(file) << "x";

  struct Case {
    const char* name;
    std::wstring args;
    const wchar_t* mutex;  // held by the test while the installer runs
    fs::path installer;
    DWORD code;
    const wchar_t* mutex_access = nullptr;  // who may open the mutex, when not everyone
  } cases[] = {
      {"windows xp", L"/S", nullptr, xp, 1150},
      {"unknown switch", L"/S /QUIET", nullptr, installer, 1639},
      {"another installer", L"/S", L"#OrvekTeacherInstall", installer, 1618},
      // Wine has one session: another session's installer is seen only by the
      // machine-wide name, and one running as LocalSystem grants an
      // administrator no more than reading it.
      {"another installer in another session, as LocalSystem", L"/S", L"Global\\#OrvekTeacherInstall", installer,
       1618, L"D:P(A;;GA;;;SY)(A;;GR;;;BA)"},
      {"client running", L"/S /D=" + Target().wstring(), L"#OrvekTeacher", installer, 4601},
      {"target cannot be created", L"/S /D=" + (file / L"orvek").wstring(), nullptr, installer, 4603},
      {"target on no drive", L"/S /D=Q:\\orvek", nullptr, installer, 4603},
      {"damaged payload", L"/S /D=" + Target().wstring(), nullptr, damaged, 4604},
      {"retired package", L"/S /D=" + Target().wstring(), nullptr, retired, 4605},
      {"log file cannot be created", L"/S /LOG=\"" + (file / L"x.log").wstring() + L"\"", nullptr, installer,
       4606},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PSECURITY_DESCRIPTOR access = nullptr;
    if (c.mutex_access) {
      ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.mutex_access, SDDL_REVISION_1, &access,
                                                                         nullptr));
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, access, FALSE};
    HANDLE mutex = c.mutex ? ::CreateMutexW(&attributes, FALSE, c.mutex) : nullptr;
    const Outcome run = Run(c.installer, c.args);
    if (mutex) ::CloseHandle(mutex);
    ::LocalFree(access);
    EXPECT_EQ(run.code, c.code) << run.log;
    EXPECT_TRUE(run.windows.empty()) << Join(run.windows);
    EXPECT_NE(run.log.find("silent install end, " + std::to_string(c.code)), std::string::npos)
        << run.log;
  }
  ::RegDeleteTreeW(HKEY_CURRENT_USER, xp_key.c_str());
  EXPECT_FALSE(fs::exists(Target() / L"orvekclient.exe"));
}

// A management tool's run as LocalSystem while a teacher works with the
// client in another session, whose mutex it cannot see. Wine has one session
// and one account: ORVEK_TEST_AS_LOCAL_SYSTEM stands for the account, and
// ORVEK_TEST_OTHER_SESSION_PID puts the running client in another session.
TEST_F(SilentInstallTest, AClientRunningInAnotherSessionIsWaitedForNeverEnded) {
  fs::create_directories(Target());
  const fs::path client = Target() / L"orvekclient.exe";
  fs::copy_file(fs::path(WindowsPath(ORVEK_SAMPLE_TREE)) / L"orvekclient.exe", client);
  ChildProcess lesson = ChildProcess::Start(client.wstring(), {L"--stay"});
  const std::wstring pid = std::to_wstring(lesson.Pid());
  ::SetEnvironmentVariableW(L"ORVEK_TEST_OTHER_SESSION_PID", pid.c_str());
  ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", L"1");
  const Outcome run = Run(Installer(), L"/S /D=" + Target().wstring());
  ::SetEnvironmentVariableW(L"ORVEK_TEST_OTHER_SESSION_PID", nullptr);
  ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", nullptr);

  EXPECT_EQ(run.code, 4601u) << run.log;
  EXPECT_EQ(lesson.WaitForExit(0), STILL_ACTIVE) << "the teacher's client was ended";
  const std::string seen = "client running in another session, session 2, pid " + std::string(pid.begin(), pid.end()) +
                           ", " + client.string();
  for (const std::string& line : {std::string("all-users installation, running as LocalSystem"), seen,
                                  std::string("Orvek教师客户端正在运行中..."), std::string("silent install end, 4601")}) {
    EXPECT_NE(run.log.find(line), std::string::npos) << line << "\n" << run.log;
  }
  EXPECT_FALSE(fs::exists(Target() / L"uninstall.exe"));
  lesson.Terminate();
  std::error_code ec;
  fs::remove(fs::current_path() / L"orvekclient.exe.started", ec);
}

// A drive of 820 MiB (scripts mount it as S: when they can), filled to
// leave 0.79 units of 2^30 bytes.
TEST_F(SilentInstallTest, TooLittleSpaceOnTheTargetDriveEndsWithItsCode) {
  if (!fs::is_directory(L"S:\\")) GTEST_SKIP() << "no small drive S: (needs root to mount it)";
  const fs::path fill = L"S:\\fill.bin";
  ASSERT_NO_FATAL_FAILURE(FillDriveLeaving(fill, static_cast<std::uint64_t>(0.79 * 1073741824.0)));
  const Outcome run = Run(Installer(), L"/S /D=S:\\orvek\\client");
  fs::remove(fill);
  EXPECT_EQ(run.code, 4602u) << run.log;
  EXPECT_TRUE(run.windows.empty()) << Join(run.windows);
  EXPECT_NE(run.log.find("silent install refused, too little space on the target drive, S:\\orvek\\client"),
            std::string::npos) << run.log;
  EXPECT_FALSE(fs::exists(L"S:\\orvek"));
}

// The stand-in never answers for the version v1.0.0-slow: the run waits for
// the check only as long as its time-outs let it, then installs.
TEST_F(SilentInstallTest, LogSwitchGetsTheSameRecordsAndAHangingVersionServiceOnlyDelays) {
  const fs::path installer = InstallerWithVersion(L"slow.exe", "v1.0.0-slow");
  const fs::path log_file = dir_.path() / L"deploy logs" / L"orvek.log";
  const ULONGLONG start = ::GetTickCount64();
  const Outcome run =
      Run(installer, L"/SILENT \"/LOG=" + log_file.wstring() + L"\" /DIR=\"" + Target().wstring() + L"\"");
  EXPECT_LT(::GetTickCount64() - start, 20000u);
  ASSERT_EQ(run.code, 0u) << run.log;
  EXPECT_EQ(ReadAll(log_file), run.log);
  EXPECT_LT(run.log.find("CheckVersion error, "), run.log.find("begin to install...")) << run.log;
  EXPECT_NE(run.log.find("install ok."), std::string::npos);
}

// An answer nested deeper than the reader builds once ended the check's
// thread on its stack, and the run then waited out both of its limits.
TEST_F(SilentInstallTest, DeeplyNestedVersionAnswerIsLoggedAndWaitsForNothing) {
  const fs::path installer = InstallerWithVersion(L"deep.exe", "v1.0.0-deep");
  const ULONGLONG start = ::GetTickCount64();
  const Outcome run = Run(installer, L"/S /DIR=\"" + Target().wstring() + L"\"");
  EXPECT_LT(::GetTickCount64() - start, 15000u);
  ASSERT_EQ(run.code, 0u) << run.log;
  EXPECT_NE(run.log.find("CheckVersion error, the value is nested deeper than 64 levels"), std::string::npos) << run.log;
  EXPECT_EQ(run.log.find("in time"), std::string::npos) << run.log;
}

// Files (path, size, time) and registry (keys and values) a run could touch.
std::map<std::wstring, std::wstring> Snapshot(const std::vector<fs::path>& except) {
  std::map<std::wstring, std::wstring> items;
  for (auto it = fs::recursive_directory_iterator(L"C:\\", fs::directory_options::skip_permission_denied);
       it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    // Links lead out of the prefix (the desktop is the Unix home); Windows'
    // own folder is large and no run writes there.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) ||
        path == L"C:\\windows") {
      it.disable_recursion_pending();
    }
    if (std::find(except.begin(), except.end(), path) != except.end()) continue;
    // A folder's time changes with the /LOG= file in it; its entries say more.
    std::error_code ec;
    items[path.wstring()] = it->is_regular_file(ec)
                                ? std::to_wstring(it->file_size(ec)) + L" " +
                                      std::to_wstring(fs::last_write_time(path, ec).time_since_epoch().count())
                                : L"folder";
  }
  struct Root {
    HKEY key;
    const wchar_t* name;
    REGSAM view;
  } roots[] = {{HKEY_CURRENT_USER, L"HKCU\\Software", 0},
               {HKEY_LOCAL_MACHINE, L"HKLM32\\Software", KEY_WOW64_32KEY},
               {HKEY_LOCAL_MACHINE, L"HKLM64\\Software", KEY_WOW64_64KEY}};
  std::function<void(HKEY, const std::wstring&, const std::wstring&, REGSAM)> walk =
      [&](HKEY parent, const std::wstring& path, const std::wstring& name, REGSAM view) {
        // Wine's own settings, which its user32 refreshes in every new process.
        if (name == L"HKCU\\Software\\Wine") return;
        HKEY key = nullptr;
        if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
        items[name] = L"key";
        std::vector<wchar_t> name_buffer(16384);
        std::vector<BYTE> data_buffer(65536);
        wchar_t* value_name = name_buffer.data();
        BYTE* data = data_buffer.data();
        for (DWORD i = 0;; ++i) {
          DWORD name_size = 16384, data_size = 65536, type = 0;
          if (::RegEnumValueW(key, i, value_name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
          items[name + L"|" + value_name] =
              std::to_wstring(type) + L":" + std::wstring(reinterpret_cast<wchar_t*>(data), data_size / 2);
        }
        for (DWORD i = 0;; ++i) {
          DWORD name_size = 16384;
          if (::RegEnumKeyExW(key, i, value_name, &name_size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
          walk(key, value_name, name + L"\\" + value_name, view);
        }
        ::RegCloseKey(key);
      };
  for (const Root& root : roots) walk(root.key, L"Software", root.name, root.view);
  return items;
}

std::vector<std::wstring> Differences(const std::map<std::wstring, std::wstring>& before,
                                      const std::map<std::wstring, std::wstring>& after) {
  std::vector<std::wstring> out;
  for (const auto& [k, v] : before) {
    const auto it = after.find(k);
    if (it == after.end()) out.push_back(L"gone: " + k);
    else if (it->second != v) out.push_back(L"changed: " + k);
  }
  for (const auto& [k, v] : after) {
    if (!before.count(k)) out.push_back(L"new: " + k);
  }
  return out;
}

TEST_F(SilentInstallTest, PlanListsBothGenerationsWithTheGuardsVerdictAndChangesNothing) {
  const fs::path old49 = L"C:\\plan test\\orvek\\old49";
  const fs::path old50 = L"C:\\plan test\\Orvek5";  // no "orvek" in lower case: refused
  for (const fs::path& dir : {old49, old50}) {
    fs::create_directories(dir);
    std::ofstream(dir / L"app.cfg") << "kept";
  }
  const std::wstring v49 = (old49 / L"uninstall.exe").wstring();
  const std::wstring v50 = L"\"" + (old50 / L"uninstall.exe").wstring() + L"\" /S";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", REG_SZ, v49.c_str(),
                              static_cast<DWORD>((v49.size() + 1) * 2)), ERROR_SUCCESS);
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKeyV50, L"UninstallString", REG_SZ, v50.c_str(),
                              static_cast<DWORD>((v50.size() + 1) * 2)), ERROR_SUCCESS);
  const fs::path installer = Installer();
  const fs::path plan_log = dir_.path() / L"plan.log";
  const fs::path usual_log = fs::path(system::GetTempDirectory()) / L"orvek" / L"teacher-install.log";

  // What an ended run left in the temporary directory: an installation
  // would clear it, a plan leaves it.
  const fs::path leftover = fs::path(system::GetTempDirectory()) / L"orvek-5ca1ab1e";
  fs::create_directories(leftover);
  std::ofstream(leftover / L"orvekteacher-tmp.zip") << "payload";

  const auto before = Snapshot({usual_log, plan_log});
  const Outcome run = Run(installer, L"/PLAN /CLEARUSERDATA /LOG=" + plan_log.wstring());
  const auto after = Snapshot({usual_log, plan_log});

  EXPECT_EQ(run.code, 0u) << run.log;
  EXPECT_TRUE(run.windows.empty()) << Join(run.windows);
  EXPECT_EQ(Differences(before, after), std::vector<std::wstring>());
  const std::string plan = ReadAll(plan_log);
  for (const std::string line : {
           "plan, v4.9 HKEY_CURRENT_USER\\Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher, "
           "location C:\\plan test\\orvek\\old49\\, removal accepted, would empty C:\\plan test\\orvek\\old49",
           "plan, v4.9 would be moved aside to C:\\plan test\\orvek\\old49.orvek-previous and removed once the "
           "installation is complete",
           "plan, v5.0 HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
           "9d2b61e4-58a3-5c07-b1f8-3e6a0c4d7b92, location C:\\plan test\\Orvek5\\, removal refused, "
           "the path does not contain orvek",
           "plan, v5.0 registry keys would be deleted, HKEY_CURRENT_USER\\",
           "plan, target directory C:\\plan test\\orvek\\old49, exists",
           "plan, uninstall entry HKEY_CURRENT_USER\\",
           "plan, user data ",
           "plan end, 0 success"}) {
    EXPECT_NE(plan.find(line), std::string::npos) << line << "\n" << plan;
  }
  EXPECT_EQ(plan, run.log);

  ::RegDeleteTreeW(HKEY_CURRENT_USER, kKeyV50);
  fs::remove_all(L"C:\\plan test");
  fs::remove_all(leftover);
}

// What management tools do: /ALLUSERS, and a run as LocalSystem (the seam
// stands in for the account), each seen by /PLAN first.
TEST_F(SilentInstallTest, AllUsersRunsRegisterInTheCommonFoldersAndUnderTheMachine) {
  const Outcome plan = Run(Installer(), L"/PLAN /ALLUSERS /D=" + Target().wstring());
  EXPECT_EQ(plan.code, 0u) << plan.log;
  for (const char* line : {"all-users installation, /ALLUSERS", "plan, all-users installation",
                           "plan, uninstall entry HKEY_LOCAL_MACHINE\\Software\\MicroSoft\\Windows\\CurrentVersion\\"
                           "Uninstall\\orvek-teacher, ", ", DisplayVersion 6.15.1, InstallLocation C:\\Orvek Silent"}) {
    EXPECT_NE(plan.log.find(line), std::string::npos) << line << "\n" << plan.log;
  }

  const fs::path desktop_link = CommonFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / kLink;
  const fs::path menu = CommonFolder(CSIDL_COMMON_PROGRAMS) / L"Orvek";
  const fs::path user_desktop = RegistryString(HKEY_CURRENT_USER, kShellFolders, L"Desktop");
  std::uint64_t tree_bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(WindowsPath(ORVEK_SAMPLE_TREE))) {
    if (entry.is_regular_file()) tree_bytes += entry.file_size();
  }
  for (const bool as_local_system : {false, true}) {
    SCOPED_TRACE(as_local_system ? "LocalSystem" : "/ALLUSERS");
    if (as_local_system) ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", L"1");
    const Outcome run = Run(Installer(), (as_local_system ? L"/S /D=" : L"/S /ALLUSERS /D=") + Target().wstring());
    ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", nullptr);
    ASSERT_EQ(run.code, 0u) << run.log;
    EXPECT_NE(run.log.find(as_local_system ? "all-users installation, running as LocalSystem"
                                           : "all-users installation, /ALLUSERS"),
              std::string::npos)
        << run.log;
    EXPECT_TRUE(fs::exists(desktop_link));
    EXPECT_TRUE(fs::exists(menu / kLink));
    EXPECT_TRUE(fs::exists(menu / (std::wstring(L"卸载") + kLink)));
    EXPECT_FALSE(fs::exists(user_desktop / kLink));
    EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"), L"");
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
              (Target() / L"uninstall.exe").wstring());
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), L"6.15.1");
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"), Target().wstring());
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize"),
              std::to_wstring((tree_bytes + 1023) / 1024));
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoModify"), L"1");
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoRepair"), L"1");
  }
}

// Wine moves a folder while a file in it is held open without sharing
// (Windows refuses; the next case): the upgrade completes, and what the
// holder kept aside goes with the first run after it has let go.
TEST_F(SilentInstallTest, UpgradeOverAHeldFileCompletesAndALaterRunRemovesWhatStayedAside) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  const HANDLE held = ::CreateFileW((UpgradeTarget() / L"res" / L"data.bin").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const Outcome upgrade = Run(Installer(), UpgradeArgs());
  ::CloseHandle(held);
  EXPECT_EQ(upgrade.code, 0u) << upgrade.log;
  ExpectSampleTree(UpgradeTarget());
  EXPECT_TRUE(fs::exists(Aside() / L"res" / L"data.bin"));
  EXPECT_FALSE(fs::exists(Aside() / L"orvekclient.exe"));

  const Outcome later = Run(Installer(), UpgradeArgs());
  EXPECT_EQ(later.code, 0u) << later.log;
  EXPECT_LT(later.log.find("moved-aside directory removed, " + Aside().string()), later.log.find("begin to install..."));
  EXPECT_FALSE(fs::exists(Aside()));
  EXPECT_FALSE(JournalExists());
}

// Under Wine as under Windows, a folder held open without delete sharing
// cannot be moved (a program whose working folder it is holds it so;
// Windows refuses as well while a file inside is held): nothing is deleted.
TEST_F(SilentInstallTest, UpgradeThatCannotMoveTheEarlierInstallationEndsWithItsCodeAndDeletesNothing) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  const std::vector<fs::path> except = {fs::path(system::GetTempDirectory()) / L"orvek" / L"teacher-install.log",
                                        fs::path(system::GetTempDirectory()) / L"orvekteacher.cfg"};
  const auto before = Snapshot(except);
  const HANDLE held = ::CreateFileW(UpgradeTarget().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const Outcome run = Run(Installer(), UpgradeArgs());
  ::CloseHandle(held);
  EXPECT_EQ(run.code, 4607u) << run.log;
  EXPECT_EQ(Differences(before, Snapshot(except)), std::vector<std::wstring>());
  EXPECT_NE(run.log.find("install failed, the earlier installation cannot be moved aside, "), std::string::npos);
}

// The last bytes of the archive's data are damaged: the items before them
// are extracted, then the run fails. What the removal of both earlier
// generations changed is back as it was: their trees, their registry keys,
// the shortcut at the drive's root.
TEST_F(SilentInstallTest, UpgradeWhosePayloadIsDamagedAtALateItemBringsTheEarlierOneBack) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  const fs::path old50 = UpgradeTarget().parent_path() / L"orvek5";
  fs::create_directories(old50);
  std::ofstream(old50 / L"client.exe") << "v5.0";
  const std::wstring v50 = L"\"" + (old50 / L"uninst.exe").wstring() + L"\" /S";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKeyV50, L"UninstallString", REG_SZ, v50.c_str(),
                              static_cast<DWORD>((v50.size() + 1) * 2)), ERROR_SUCCESS);
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kProductKeyV50) + L"\\client").c_str(), L"server",
                              REG_SZ, L"school", 14), ERROR_SUCCESS);
  const fs::path damaged = dir_.path() / L"damaged.exe";
  fs::copy_file(Installer(), damaged);
  {
    // 7z's start header, at the payload offset stored at byte 128, gives
    // the length of the packed data before the archive's header. Its last
    // few hundred bytes are the compressed header itself: the damage goes
    // just before them, into the end of the items' data.
    std::fstream file(damaged, std::ios::binary | std::ios::in | std::ios::out);
    std::int32_t offset = 0;
    std::uint64_t packed = 0;
    file.seekg(128).read(reinterpret_cast<char*>(&offset), 4);
    file.seekg(offset + 12).read(reinterpret_cast<char*>(&packed), 8);
    file.seekp(offset + 32 + static_cast<std::int64_t>(packed) - 1024).write(std::string(16, '\xA5').data(), 16);
  }
  const std::vector<fs::path> except = {fs::path(system::GetTempDirectory()) / L"orvek" / L"teacher-install.log",
                                        fs::path(system::GetTempDirectory()) / L"orvekteacher.cfg"};
  const auto before = Snapshot(except);
  const Outcome run = Run(damaged, UpgradeArgs());
  EXPECT_EQ(run.code, 4604u) << run.log;
  EXPECT_EQ(Differences(before, Snapshot(except)), std::vector<std::wstring>());
  for (const char* line : {"install failed, item ", "earlier installation moved back, ",
                           "registry key restored, HKEY_CURRENT_USER\\",
                           "shortcut restored, C:\\"}) {
    EXPECT_NE(run.log.find(line), std::string::npos) << line << "\n" << run.log;
  }
}

TEST_F(SilentInstallTest, UpgradeKilledDuringItsExtractionIsTakenBackByTheNextRun) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  const fs::path filler = UpgradeTarget() / L"res" / L"filler";
  {
    const std::wstring args = UpgradeArgs();
    ChildProcess child = ChildProcess::Start(WindowsPath(ORVEK_SAMPLE_WITH_FILLER), {}, &args);
    // Ended once the new tree has begun to fill the earlier one's place.
    while (!fs::exists(filler) && ::WaitForSingleObject(child.Handle(), 2) == WAIT_TIMEOUT) {
    }
    child.Terminate();
    ASSERT_TRUE(fs::exists(filler));
    ASSERT_TRUE(fs::exists(Aside() / L"orvekclient.exe"));
  }
  const Outcome rerun = Run(Installer(), UpgradeArgs());
  EXPECT_EQ(rerun.code, 0u) << rerun.log;
  EXPECT_LT(rerun.log.find("earlier installation moved back, " + Aside().string()),
            rerun.log.find("begin to install..."));
  ExpectSampleTree(UpgradeTarget());
  EXPECT_FALSE(fs::exists(filler));
  EXPECT_FALSE(fs::exists(Aside()));
  EXPECT_FALSE(JournalExists());
}

}  // namespace
}  // namespace orvek::test
