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
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/unicode.h"
#include "support/child_process.h"
#include "support/drive_fill.h"
#include "support/log_tail.h"
#include "support/proxy_settings.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"
#include "base/unicode.h"
#include "system/files/handle_operations.h"
#include "system/files/temp_directory.h"
#include "system/installations/journal_owner_rules.h"
#include "system/installations/run_owner.h"

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

constexpr const wchar_t* kJournal = L"Software\\orvek-teacher-install";

// The journal's records, oldest first, each as its values.
std::vector<std::map<std::wstring, std::wstring>> JournalRecords() {
  std::vector<std::map<std::wstring, std::wstring>> records;
  HKEY journal = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kJournal, 0, KEY_READ | KEY_WOW64_32KEY, &journal) != ERROR_SUCCESS) {
    return records;
  }
  wchar_t name[64] = {};
  for (DWORD i = 0;; ++i) {
    DWORD length = 64;
    if (::RegEnumKeyExW(journal, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::map<std::wstring, std::wstring> record{{L"id", name}};
    for (const wchar_t* value : {L"kind", L"path", L"aside", L"root", L"key", L"run", L"account"}) {
      record[value] = RegistryString(HKEY_LOCAL_MACHINE, std::wstring(kJournal) + L"\\" + name, value);
    }
    records.push_back(std::move(record));
  }
  ::RegCloseKey(journal);
  return records;
}

// Writes `values` into the record `id` (created when missing), in the
// 32-bit view where the installer keeps its journal.
void WriteJournalRecord(const std::wstring& id, const std::map<std::wstring, std::wstring>& values) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kJournal) + L"\\" + id).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, value] : values) {
    ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  ::RegCloseKey(key);
}

// The DACL of `key` (32-bit view) in SDDL form; empty when it cannot be read.
std::wstring KeyDacl(const std::wstring& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, READ_CONTROL | KEY_WOW64_32KEY, &opened) != ERROR_SUCCESS) {
    return L"";
  }
  std::vector<BYTE> descriptor(4096);
  DWORD size = static_cast<DWORD>(descriptor.size());
  const LONG status = ::RegGetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor.data(), &size);
  ::RegCloseKey(opened);
  wchar_t* text = nullptr;
  if (status != ERROR_SUCCESS ||
      !::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return L"";
  }
  std::wstring dacl = text;
  ::LocalFree(text);
  return dacl;
}

// The file identity a run records of the folder `path` (handle_operations.h).
std::wstring IdentityOf(const fs::path& path) {
  const HANDLE folder = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return L"";
  std::wstring identity = system::FileIdentityOf(folder);
  ::CloseHandle(folder);
  return identity;
}

// A run that has ended, as a record names it: a program that ran and exited.
std::wstring EndedRunId() {
  wchar_t cmd[MAX_PATH] = {};
  ::GetSystemDirectoryW(cmd, MAX_PATH);
  ChildProcess child = ChildProcess::Start(std::wstring(cmd) + L"\\cmd.exe", {L"/c", L"exit"});
  FILETIME created{}, exited{}, kernel{}, user{};
  ::GetProcessTimes(child.Handle(), &created, &exited, &kernel, &user);
  child.WaitForExit(20000);
  return system::FormatRunId(child.Pid(),
                             (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
}

// Runs started while it lives belong to the account `sid`: Wine runs every
// process as one account, so the seam ORVEK_TEST_ACCOUNT_SID names it, and
// the one HKEY_CURRENT_USER stands for that account's hive.
class ScopedAccount {
 public:
  explicit ScopedAccount(const wchar_t* sid) { ::SetEnvironmentVariableW(L"ORVEK_TEST_ACCOUNT_SID", sid); }
  ~ScopedAccount() { ::SetEnvironmentVariableW(L"ORVEK_TEST_ACCOUNT_SID", nullptr); }
};

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

// What every run writes whatever it does: the usual log and the
// configuration backup.
std::vector<fs::path> RunOutputs() {
  return {fs::path(system::GetTempDirectory()) / L"orvek" / L"teacher-install.log",
          fs::path(system::GetTempDirectory()) / L"orvekteacher.cfg"};
}

// Points the per-user uninstall entry of this installer at `value`.
void SetUninstallString(const std::wstring& value) {
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * 2)), ERROR_SUCCESS);
}

// Damages the last bytes of the archive's data in the installer `file`: the
// items before them are extracted, then the run fails.
void DamageLateItem(const fs::path& installer) {
  // 7z's start header, at the payload offset stored at byte 128, gives the
  // length of the packed data before the archive's header. Its last few
  // hundred bytes are the compressed header itself: the damage goes just
  // before them, into the end of the items' data.
  std::fstream file(installer, std::ios::binary | std::ios::in | std::ios::out);
  std::int32_t offset = 0;
  std::uint64_t packed = 0;
  file.seekg(128).read(reinterpret_cast<char*>(&offset), 4);
  file.seekg(offset + 12).read(reinterpret_cast<char*>(&packed), 8);
  file.seekp(offset + 32 + static_cast<std::int64_t>(packed) - 1024).write(std::string(16, '\xA5').data(), 16);
}

// A test seam's environment variable, set for the runs started meanwhile.
class Seam {
 public:
  Seam(const wchar_t* name, const std::wstring& value) : name_(name) { ::SetEnvironmentVariableW(name, value.c_str()); }
  ~Seam() { ::SetEnvironmentVariableW(name_, nullptr); }

 private:
  const wchar_t* name_;
};

// A command window whose current folder is `folder`, waiting for input
// that never comes.
class ProgramInFolder {
 public:
  explicit ProgramInFolder(const fs::path& folder) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    if (!::CreatePipe(&read, &input_, &inherit, 0)) return;
    ::SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = read;
    si.hStdOutput = si.hStdError = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                                 nullptr);
    std::wstring line = L"cmd.exe /k";
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(L"C:\\windows\\system32\\cmd.exe", line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                         nullptr, folder.c_str(), &si, &pi)) {
      ::CloseHandle(pi.hThread);
      process_ = pi.hProcess;
    }
    ::CloseHandle(read);
    ::CloseHandle(si.hStdOutput);
    ::Sleep(500);
  }
  ~ProgramInFolder() { End(); }
  void End() {
    if (input_) ::CloseHandle(std::exchange(input_, nullptr));
    if (process_) {
      if (::WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) ::TerminateProcess(process_, 1);
      ::CloseHandle(std::exchange(process_, nullptr));
    }
  }

 private:
  HANDLE input_ = nullptr;
  HANDLE process_ = nullptr;
};

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
    // A test leaves read-only files behind, which remove_all cannot delete.
    for (auto it = fs::recursive_directory_iterator(Target().parent_path(), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(Target().parent_path(), ec);
    fs::remove(fs::path(RegistryString(HKEY_CURRENT_USER, kShellFolders, L"Desktop")) / kLink, ec);
    fs::remove(fs::path(L"C:\\") / kLink, ec);
    fs::remove(CommonFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / kLink, ec);
    fs::remove_all(CommonFolder(CSIDL_COMMON_PROGRAMS) / L"Orvek", ec);
    for (const wchar_t* backup : {L"orvekteacher.cfg", L"orvekteacher.per-user.cfg", L"orvekteacher.all-users.cfg",
                                  L"orvekteacher.v5.0.cfg"}) {
      fs::remove(fs::path(system::GetTempDirectory()) / backup, ec);
    }
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

  // A copy of the sample installer whose payload is damaged at its end.
  fs::path DamagedAtALateItem() {
    const fs::path damaged = dir_.path() / L"damaged.exe";
    if (fs::exists(damaged)) return damaged;
    fs::copy_file(Installer(), damaged);
    DamageLateItem(damaged);
    return damaged;
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

  // A v5.0 generation in OldV50(), recorded under HKEY_CURRENT_USER with a
  // key of settings.
  static fs::path OldV50() { return UpgradeTarget().parent_path() / L"orvek5"; }
  static void PlantV50() {
    fs::create_directories(OldV50());
    std::ofstream(OldV50() / L"client.exe") << "v5.0";
    const std::wstring v50 = L"\"" + (OldV50() / L"uninst.exe").wstring() + L"\" /S";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKeyV50, L"UninstallString", REG_SZ, v50.c_str(),
                                static_cast<DWORD>((v50.size() + 1) * 2)), ERROR_SUCCESS);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kProductKeyV50) + L"\\client").c_str(), L"server",
                                REG_SZ, L"school", 14), ERROR_SUCCESS);
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
  const Outcome run = Run(Installer(), L"/S /CURRENTUSER /NOSTARTMENU /D=" + Target().wstring());
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
  for (const char* line : {"silent install begin, ", "per-user installation, /CURRENTUSER", "begin to install...",
                           "UnzipProgressCallback100", "install ok.", "silent install end, 0 success"}) {
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
      {"both scopes", L"/S /ALLUSERS /CURRENTUSER", nullptr, installer, 1639},
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

// Every file below `root` with its bytes and time, and every folder (whose
// time changes with its entries).
std::map<std::wstring, std::wstring> FolderSnapshot(const fs::path& root) {
  std::map<std::wstring, std::wstring> items;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::error_code ec;
    if (!entry.is_regular_file()) {
      items[entry.path().wstring()] = L"folder";
      continue;
    }
    const std::string bytes = ReadAll(entry.path());
    items[entry.path().wstring()] = std::wstring(bytes.begin(), bytes.end()) + L" " +
        std::to_wstring(fs::last_write_time(entry.path(), ec).time_since_epoch().count());
  }
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
  const Outcome run = Run(installer, L"/PLAN /CURRENTUSER /CLEARUSERDATA /LOG=" + plan_log.wstring());
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

// What management tools do: a silent run as the deploying administrator's
// account (nothing asked: for all users, so the README's detection rule
// finds it), /ALLUSERS, and a run as LocalSystem (the seam stands in for
// the account), the first seen by /PLAN first.
TEST_F(SilentInstallTest, AllUsersRunsRegisterInTheCommonFoldersAndUnderTheMachine) {
  const Outcome plan = Run(Installer(), L"/PLAN /D=" + Target().wstring());
  EXPECT_EQ(plan.code, 0u) << plan.log;
  for (const char* line : {"all-users installation, silent run without /CURRENTUSER",
                           "plan, all-users installation, silent run without /CURRENTUSER",
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
  const struct {
    const wchar_t* args;
    bool as_local_system;
    const char* reason;
  } runs[] = {{L"/S /D=", false, "all-users installation, silent run without /CURRENTUSER"},
              {L"/S /ALLUSERS /D=", false, "all-users installation, /ALLUSERS"},
              {L"/S /D=", true, "all-users installation, running as LocalSystem"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.reason);
    if (r.as_local_system) ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", L"1");
    const Outcome run = Run(Installer(), r.args + Target().wstring());
    ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", nullptr);
    ASSERT_EQ(run.code, 0u) << run.log;
    EXPECT_NE(run.log.find(r.reason), std::string::npos) << run.log;
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

// A command window left in the installation folder holds it as its current
// folder (Windows then refuses to move it): its entries move one by one,
// and the upgrade completes.
TEST_F(SilentInstallTest, UpgradeWithACommandWindowInTheInstallationFolderCompletes) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  ProgramInFolder window(UpgradeTarget());
  const Outcome run = Run(Installer(), UpgradeArgs());
  window.End();
  EXPECT_EQ(run.code, 0u) << run.log;
  EXPECT_NE(run.log.find("earlier installation moved aside entry by entry, "), std::string::npos) << run.log;
  ExpectSampleTree(UpgradeTarget());
  EXPECT_FALSE(fs::exists(Aside()));
  EXPECT_FALSE(JournalExists());
}

// A file the new installation writes is held open: nothing may change. The
// seam refuses to move the folders above it, as Windows does (Wine would).
TEST_F(SilentInstallTest, UpgradeOverAHeldFileThePayloadWritesEndsWithItsCodeAndChangesNothing) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  const auto before = FolderSnapshot(Target().parent_path());
  const HANDLE held = ::CreateFileW((UpgradeTarget() / L"res" / L"data.bin").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const Seam seam(L"ORVEK_TEST_UNMOVABLE_FOLDERS",
                  UpgradeTarget().wstring() + L";" + (UpgradeTarget() / L"res").wstring());
  const Outcome run = Run(Installer(), UpgradeArgs());
  ::CloseHandle(held);
  EXPECT_EQ(run.code, 4607u) << run.log;
  EXPECT_EQ(Differences(before, FolderSnapshot(Target().parent_path())), std::vector<std::wstring>());
  EXPECT_FALSE(JournalExists());
  for (const std::string& line : std::vector<std::string>{
           "install failed, the earlier installation cannot be moved aside, ",
           "the new installation writes " + (UpgradeTarget() / "res" / "data.bin").string(),
           "earlier installation moved back, " + Aside().string()}) {
    EXPECT_NE(run.log.find(line), std::string::npos) << line << "\n" << run.log;
  }
}

// The last bytes of the archive's data are damaged: the items before them
// are extracted, then the run fails. What the removal of both earlier
// generations changed is back as it was: their trees, their registry keys,
// the shortcut at the drive's root.
TEST_F(SilentInstallTest, UpgradeWhosePayloadIsDamagedAtALateItemBringsTheEarlierOneBack) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  const fs::path old50 = OldV50();
  ASSERT_NO_FATAL_FAILURE(PlantV50());
  const fs::path damaged = DamagedAtALateItem();
  const std::vector<fs::path> except = RunOutputs();
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

// A user who can write beside the installation takes every name it would be
// moved aside to: the run ends honestly with nothing changed, and nothing
// of theirs is moved into the installation's place.
TEST_F(SilentInstallTest, UpgradeWhoseAsideNamesAreAllTakenChangesNothing) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  fs::create_directories(Aside());
  for (int n = 2; n <= 99; ++n) fs::create_directories(Aside().wstring() + L"-" + std::to_wstring(n));
  std::ofstream(fs::path(Aside().wstring() + L"-99") / L"orvekclient.exe") << "planted";
  const auto before = FolderSnapshot(Target().parent_path());
  const Outcome run = Run(Installer(), UpgradeArgs());
  EXPECT_EQ(run.code, 1603u) << run.log;
  EXPECT_EQ(Differences(before, FolderSnapshot(Target().parent_path())), std::vector<std::wstring>());
  EXPECT_FALSE(JournalExists());
  EXPECT_NE(run.log.find(", every name beside it is taken"), std::string::npos) << run.log;
}

// The folder's name differs in letter case from its entry and from /D=: the
// undo of a failed upgrade is judged by the path its move was judged by.
TEST_F(SilentInstallTest, MixedCaseUpgradeWhosePayloadIsDamagedBringsTheEarlierOneBack) {
  const fs::path folder = Target().parent_path() / L"Schule" / L"Orvek" / L"Client";
  ASSERT_EQ(Run(Installer(), L"/S /D=" + folder.wstring()).code, 0u);
  std::wstring typed = folder.wstring();
  std::transform(typed.begin(), typed.end(), typed.begin(), ::towlower);
  const std::wstring entry = typed + L"\\uninstall.exe";
  SetUninstallString(entry);
  const fs::path damaged = DamagedAtALateItem();
  const auto before = FolderSnapshot(Target().parent_path());
  const Outcome run = Run(damaged, L"/S /D=" + typed);
  EXPECT_EQ(run.code, 4604u) << run.log;
  EXPECT_NE(run.log.find("earlier installation moved back, "), std::string::npos) << run.log;
  EXPECT_EQ(Differences(before, FolderSnapshot(Target().parent_path())), std::vector<std::wstring>());
  EXPECT_FALSE(JournalExists());
}

// Ended (as a kill or a power cut would end it) once the new tree was
// complete: a later start, here one that then finds the client running,
// keeps the new installation and removes the earlier one.
TEST_F(SilentInstallTest, UpgradeEndedAfterItsExtractionKeepsTheNewInstallation) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  {
    const Seam seam(L"ORVEK_TEST_END_AT", L"before registration");
    ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 9u);
  }
  ExpectSampleTree(UpgradeTarget());
  ASSERT_TRUE(fs::exists(Aside()));
  std::ofstream(UpgradeTarget() / L"saved by the teacher.txt") << "lesson plan";
  const HANDLE client = ::CreateMutexW(nullptr, FALSE, L"#OrvekTeacher");
  const Outcome later = Run(Installer(), UpgradeArgs());
  ::CloseHandle(client);
  EXPECT_EQ(later.code, 4601u) << later.log;
  EXPECT_EQ(later.log.find("moved back"), std::string::npos) << later.log;
  EXPECT_NE(later.log.find("moved-aside directory removed, " + Aside().string()), std::string::npos) << later.log;
  ExpectSampleTree(UpgradeTarget());
  EXPECT_EQ(ReadAll(UpgradeTarget() / L"saved by the teacher.txt"), "lesson plan");
  EXPECT_FALSE(fs::exists(Aside()));
  EXPECT_FALSE(JournalExists());
}

// A forged per-user entry names a tree deeper than any walk enters: the
// elevated run neither ends on it nor walks below the bound, and says so
// once. (Under Wine, Unix path limits allow about 1,900 levels; the bound
// itself is shown natively, tests/system/files/tree_walk_test.cpp.)
TEST_F(SilentInstallTest, EarlierTreeDeeperThanTheWalkIsLeftWithOneLine) {
  const fs::path location = Target().parent_path() / L"orvek deep";
  std::wstring deepest = L"\\\\?\\" + location.wstring();
  std::vector<std::wstring> levels;
  ASSERT_TRUE(fs::create_directories(location));
  for (int i = 0; i < 300; ++i) {
    deepest += L"\\d";
    ASSERT_TRUE(::CreateDirectoryW(deepest.c_str(), nullptr)) << i;
    levels.push_back(deepest);
  }
  const std::wstring entry = location.wstring() + L"\\uninstall.exe";
  SetUninstallString(entry);
  const Outcome run = Run(Installer(), L"/S /D=" + Target().wstring(), 600000);
  EXPECT_EQ(run.code, 0u) << run.log;
  size_t lines = 0;
  for (size_t at = run.log.find("tree deeper than 256 levels"); at != std::string::npos;
       at = run.log.find("tree deeper than 256 levels", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1u) << run.log;
  ExpectSampleTree(Target());
  // Deepest first, by paths longer than MAX_PATH, wherever the run left it.
  for (const fs::path& top : {location, fs::path(location.wstring() + L".orvek-previous")}) {
    for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
      ::RemoveDirectoryW((L"\\\\?\\" + top.wstring() + it->substr(4 + location.wstring().size())).c_str());
    }
  }
}

// An earlier installation on a share (here the drive's own administrative
// share) is never moved or emptied: the guard refuses it by its name.
TEST_F(SilentInstallTest, EarlierInstallationOnAShareIsRefused) {
  const fs::path location = Target().parent_path() / L"orvek share";
  fs::create_directories(location);
  std::ofstream(location / L"orvekclient.exe") << "on the share";
  const std::wstring share = L"\\\\localhost\\C$" + location.wstring().substr(2);
  const std::wstring entry = share + L"\\uninstall.exe";
  SetUninstallString(entry);
  const Outcome run = Run(Installer(), L"/S /D=" + Target().wstring());
  EXPECT_EQ(run.code, 0u) << run.log;
  const std::wstring refusal = L"DelDir failed, the dir is not contain orvek, " + share + L"\\, the location is on a share";
  EXPECT_NE(run.log.find(std::string(refusal.begin(), refusal.end())), std::string::npos) << run.log;
  EXPECT_EQ(ReadAll(location / L"orvekclient.exe"), "on the share");
}

// A configuration an administrator locked stays locked across an upgrade
// that writes it again.
TEST_F(SilentInstallTest, ReadOnlyFileOfTheEarlierInstallationIsReadOnlyAgainWithTheNewContent) {
  ASSERT_EQ(Run(Installer(), UpgradeArgs()).code, 0u);
  const fs::path config = UpgradeTarget() / L"bin" / L"config.ini";
  ::SetFileAttributesW(config.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::ofstream(config, std::ios::trunc) << "[client]\nserver=locked by the administrator\n";
  ASSERT_TRUE(::SetFileAttributesW(config.c_str(), FILE_ATTRIBUTE_READONLY));
  const Outcome run = Run(Installer(), UpgradeArgs());
  EXPECT_EQ(run.code, 0u) << run.log;
  ExpectSampleTree(UpgradeTarget());
  const DWORD attributes = ::GetFileAttributesW(config.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY) << attributes;
}

// A school network that routes the services through proxies. Each case says
// how long the run took to "install ok." and what it logged about the way.
class SilentInstallThroughProxy : public SilentInstallTest {
 protected:
  void TearDown() override {
    ::SetEnvironmentVariableW(L"ORVEK_TEST_DISCOVERED_SCRIPT", nullptr);
    ::SetEnvironmentVariableW(L"ORVEK_TEST_SCRIPT_PROXIES", nullptr);
    SilentInstallTest::TearDown();
  }

  static std::string At(const char* host, int port = ORVEK_STAND_IN_PROXY_PORT) {
    return std::string(host) + ":" + std::to_string(port);
  }

  // The stand-in's configuration script that answers `answer` for every URL.
  static std::string Script(const std::string& answer) {
    std::string query;
    for (char c : answer) query += c == ' ' ? std::string("%20") : c == ';' ? std::string("%3B") : std::string(1, c);
    return "http://" + At("127.0.0.2") + "/proxy.pac?answer=" + query;
  }

  // Milliseconds from the run's first log record to the first holding `text`
  // (records begin "yyyy-mm-dd hh:nn:ss:zzz").
  static long long MsUntil(const std::string& log, const std::string& text) {
    const auto ms = [&](std::size_t line) {
      return ((std::stoll(log.substr(line + 11, 2)) * 60 + std::stoll(log.substr(line + 14, 2))) * 60 +
              std::stoll(log.substr(line + 17, 2))) * 1000 + std::stoll(log.substr(line + 20, 3));
    };
    const std::size_t at = log.find(text);
    if (at == std::string::npos) return -1;
    return ms(log.rfind('\n', at) + 1) - ms(0);
  }

  // A silent installation; prints the time to "install ok." and the lines
  // about the services, and returns what the stand-ins recorded meanwhile.
  std::string RunAndReport(const char* name, Outcome& run) {
    const std::size_t recorded = ReadAll(WindowsPath(ORVEK_STAND_IN_RECORD)).size();
    run = Run(Installer(), L"/S /DIR=\"" + Target().wstring() + L"\"");
    EXPECT_EQ(run.code, 0u) << run.log;
    std::cout << name << ": \"install ok.\" after " << MsUntil(run.log, "install ok.") << " ms\n";
    std::istringstream lines(run.log);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("proxy") != std::string::npos || line.find("error, ") != std::string::npos) {
        std::cout << "  " << line << "\n";
      }
    }
    return ReadAll(WindowsPath(ORVEK_STAND_IN_RECORD)).substr(recorded);
  }
};

// Finding the way once had no limit of its own: the run waited 15 s for the
// verdict before it installed, and as long again for the install event.
TEST_F(SilentInstallThroughProxy, AScriptWhoseHostNeverAnswersCostsTheConnectTimeOut) {
  const std::string script = "http://" + At("127.0.0.1", ORVEK_STAND_IN_FULL_PORT) + "/proxy.pac";
  const ScopedProxySettings settings(kScript, "", "", script);
  Outcome run;
  const ULONGLONG start = ::GetTickCount64();
  RunAndReport("script host never answers", run);
  EXPECT_LT(::GetTickCount64() - start, 20000u);
  const std::string failure = "proxy resolution failed, not done within 3000 ms (timed out), configuration script " + script;
  EXPECT_TRUE(HasLine(run.log, base::WideFromUtf8("CheckVersion error, " + failure))) << run.log;
  EXPECT_TRUE(HasLine(run.log, base::WideFromUtf8("PostData error, " + failure))) << run.log;
  EXPECT_LT(MsUntil(run.log, "install ok."), 12000) << run.log;
}

// Whoever answers the discovery names the proxy: it must not get the
// elevated administrator's logon, only the refusal is logged.
TEST_F(SilentInstallThroughProxy, ADiscoveredProxyThatDemandsAuthenticationGetsNoCredentials) {
  const ScopedProxySettings settings(kAutoDetect, "", "", "");
  ::SetEnvironmentVariableW(L"ORVEK_TEST_DISCOVERED_SCRIPT",
                            base::WideFromUtf8(Script("PROXY " + At("127.0.0.3"))).c_str());
  Outcome run;
  const std::string record = RunAndReport("discovered proxy demands authentication", run);
  const std::string refused = "HTTP/1.1 407 Proxy Authentication Required, through proxy " + At("127.0.0.3");
  EXPECT_TRUE(HasLine(run.log, base::WideFromUtf8("CheckVersion error, " + refused))) << run.log;
  EXPECT_TRUE(HasLine(run.log, base::WideFromUtf8("PostData error, " + refused))) << run.log;
  std::istringstream lines(record);
  int asked = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\"via\": \"auth-proxy\"") == std::string::npos) continue;
    ++asked;
    std::transform(line.begin(), line.end(), line.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_EQ(line.find("proxy-authorization"), std::string::npos) << line;
  }
  EXPECT_GE(asked, 2);
}

// Only the first proxy a script named was ever tried. Wine's WinHTTP keeps
// only that one of the script's answer, so the seam gives the run the list
// Windows gives (proxy_route.cpp).
TEST_F(SilentInstallThroughProxy, AScriptsSecondProxyServesWhenTheFirstIsDead) {
  const std::string dead = At("127.0.0.5"), live = At("127.0.0.2");
  const ScopedProxySettings settings(kScript, "", "", Script("PROXY " + dead + "; PROXY " + live));
  ::SetEnvironmentVariableW(L"ORVEK_TEST_SCRIPT_PROXIES", base::WideFromUtf8(dead + ";" + live).c_str());
  Outcome run;
  const std::string record = RunAndReport("first of two proxies dead", run);
  EXPECT_TRUE(Has(run.log, base::WideFromUtf8("proxy not reached, WinHttpSendRequest failed, error 12029 (cannot "
                                              "connect), through proxy " + dead + ", trying " + live)))
      << run.log;
  EXPECT_FALSE(Has(run.log, L"CheckVersion error, ")) << run.log;
  EXPECT_FALSE(Has(run.log, L"PostData error, ")) << run.log;
  EXPECT_NE(record.find("\"via\": \"proxy\", \"method\": \"GET\""), std::string::npos) << record;
  EXPECT_NE(record.find("\"via\": \"proxy\", \"method\": \"POST\""), std::string::npos) << record;
}

// An upgrade in another session, in the middle of its extraction: its
// earlier installation waits aside and its new tree is half there. Wine has
// one session, and the installer mutex would keep a second run out anyway;
// so the record is written here as that run writes it, naming as its run
// this test process, which runs.
TEST_F(SilentInstallTest, RecordsOfARunThatStillGoesOnAreLeftUntilItHasEnded) {
  const fs::path location = UpgradeTarget();
  fs::create_directories(Aside());
  std::ofstream(Aside() / L"orvekclient.exe") << "earlier";
  fs::create_directories(location);
  std::ofstream(location / L"half.bin") << "new";
  const std::wstring live = system::CurrentRunId();
  WriteJournalRecord(L"0000000001", {{L"kind", L"moved"}, {L"path", location.wstring()}, {L"aside", Aside().wstring()},
                                     {L"identity", IdentityOf(Aside())}, {L"placeholder", IdentityOf(location)},
                                     {L"completed", L"0"}, {L"run", live}, {L"account", L"S-1-5-18"}});

  const Outcome second = Run(Installer(), L"/S /D=" + Target().wstring());
  EXPECT_EQ(second.code, 0u) << second.log;
  EXPECT_NE(second.log.find("install journal record left, its run still goes on, " + base::Utf8FromWide(live) +
                            ", moved " + location.string() + ", " + Aside().string()),
            std::string::npos)
      << second.log;
  EXPECT_EQ(second.log.find("interrupted installation found"), std::string::npos) << second.log;
  EXPECT_EQ(ReadAll(Aside() / L"orvekclient.exe"), "earlier");
  EXPECT_TRUE(fs::exists(location / L"half.bin"));
  ASSERT_EQ(JournalRecords().size(), 1u) << "the installation completed without touching the record";

  // That run has ended (killed, or its PC switched off): the next run takes
  // its work back.
  WriteJournalRecord(L"0000000001", {{L"run", EndedRunId()}});
  const Outcome third = Run(Installer(), L"/S /D=" + Target().wstring());
  EXPECT_EQ(third.code, 0u) << third.log;
  EXPECT_LT(third.log.find("earlier installation moved back, " + Aside().string() + " to " + location.string()),
            third.log.find("begin to install..."))
      << third.log;
  EXPECT_EQ(ReadAll(location / L"orvekclient.exe"), "earlier");
  EXPECT_FALSE(fs::exists(location / L"half.bin"));
  EXPECT_FALSE(JournalExists());
}

// A teacher's upgrade from v5.0 ends midway: the journal holds the v5.0 keys
// it took from that teacher's hive. The next run is another
// account's: it takes back what lies on the machine's disk, but leaves the
// keys for their own account, whose next run restores them. Wine has one
// account and one HKEY_CURRENT_USER: the seam ORVEK_TEST_ACCOUNT_SID names
// each run's account, and the one hive stands for whoever runs.
TEST_F(SilentInstallTest, KeysTakenFromOneAccountsHiveGoBackOnlyAtThatAccountsNextRun) {
  constexpr wchar_t kTeacher[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";
  constexpr wchar_t kColleague[] = L"S-1-5-21-1004336348-1177238915-682003330-1002";
  const fs::path old50 = OldV50();
  ASSERT_NO_FATAL_FAILURE(PlantV50());
  {
    const ScopedAccount teacher(kTeacher);
    const std::wstring args = L"/S /D=" + UpgradeTarget().wstring();
    ChildProcess child = ChildProcess::Start(WindowsPath(ORVEK_SAMPLE_WITH_FILLER), {}, &args);
    while (!fs::exists(UpgradeTarget() / L"res" / L"filler") &&
           ::WaitForSingleObject(child.Handle(), 2) == WAIT_TIMEOUT) {
    }
    child.Terminate();
  }
  ASSERT_FALSE(fs::exists(old50 / L"client.exe"));
  // The saved keys are the teacher's, and nobody but administrators and
  // SYSTEM can read them.
  const std::wstring administrators_only = L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
  EXPECT_EQ(KeyDacl(kJournal), administrators_only);
  size_t saved = 0;
  for (const auto& record : JournalRecords()) {
    if (record.at(L"kind") != L"registry") continue;
    ++saved;
    EXPECT_EQ(record.at(L"account"), kTeacher);
    EXPECT_EQ(KeyDacl(std::wstring(kJournal) + L"\\" + record.at(L"id") + L"\\saved"), administrators_only);
  }
  ASSERT_EQ(saved, 2u);

  Outcome colleague;
  {
    const ScopedAccount account(kColleague);
    colleague = Run(Installer(), L"/S /D=" + Target().wstring());
  }
  EXPECT_EQ(colleague.code, 0u) << colleague.log;
  const std::string left = "registry key left for its own account's next run, " + base::Utf8FromWide(kTeacher) +
                           ", HKEY_CURRENT_USER\\Software\\";
  EXPECT_NE(colleague.log.find(left + "MicroSoft\\Windows\\CurrentVersion\\Uninstall\\9d2b61e4-"), std::string::npos)
      << colleague.log;
  EXPECT_NE(colleague.log.find(left + "9d2b61e4-"), std::string::npos) << colleague.log;
  EXPECT_EQ(colleague.log.find("registry key restored"), std::string::npos) << colleague.log;
  EXPECT_NE(colleague.log.find("earlier installation moved back, "), std::string::npos) << colleague.log;
  EXPECT_EQ(ReadAll(old50 / L"client.exe"), "v5.0");
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kKeyV50, L"UninstallString"), L"");
  EXPECT_TRUE(JournalExists());

  const ScopedAccount teacher(kTeacher);
  const Outcome own = Run(Installer(), L"/S");
  EXPECT_EQ(own.code, 0u) << own.log;
  EXPECT_LT(own.log.find("registry key restored, HKEY_CURRENT_USER\\Software\\MicroSoft\\Windows\\CurrentVersion\\"
                         "Uninstall\\9d2b61e4-"),
            own.log.find("begin to install..."))
      << own.log;
  // Restored, the teacher's v5.0 generation is found and upgraded like any.
  EXPECT_NE(own.log.find("begin to delete v5.0 registry."), std::string::npos) << own.log;
  EXPECT_FALSE(JournalExists());
}

// A teacher's own per-user installation and the machine's all-users one,
// both with their own settings. A silent run upgrades the all-users one in
// its folder and replaces the teacher's: each configuration is kept, the
// one at the target where the client reads it.
TEST_F(SilentInstallTest, EachRemovedInstallationsConfigurationIsKeptInABackupOfItsOwn) {
  ASSERT_EQ(Run(Installer(), L"/S /ALLUSERS /D=" + UpgradeTarget().wstring()).code, 0u);
  std::ofstream(UpgradeTarget() / L"app.cfg") << "machine";
  const fs::path teacher = UpgradeTarget().parent_path() / L"orvek teacher";
  fs::create_directories(teacher);
  std::ofstream(teacher / L"app.cfg") << "teacher";
  std::ofstream(teacher / L"orvekclient.exe") << "per-user";
  const std::wstring uninstall = (teacher / L"uninstall.exe").wstring();
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", REG_SZ, uninstall.c_str(),
                              static_cast<DWORD>((uninstall.size() + 1) * 2)), ERROR_SUCCESS);
  const fs::path temp = system::GetTempDirectory();

  const Outcome run = Run(Installer(), L"/S");
  EXPECT_EQ(run.code, 0u) << run.log;
  const std::string backup = base::Utf8FromWide(system::GetTempDirectory()) + "\\";
  for (const std::string& line :
       {"all-users installation, upgrading the all-users installation in " + UpgradeTarget().string() + "\\",
        "per-user installation found, replaced by this all-users installation, " + teacher.string() + "\\",
        "app.cfg backed up, " + teacher.string() + "\\\\app.cfg to " + backup + "orvekteacher.per-user.cfg",
        "app.cfg backed up, " + UpgradeTarget().string() + "\\\\app.cfg to " + backup + "orvekteacher.cfg"}) {
    EXPECT_NE(run.log.find(line), std::string::npos) << line << "\n" << run.log;
  }
  EXPECT_EQ(ReadAll(temp / L"orvekteacher.cfg"), "machine");
  EXPECT_EQ(ReadAll(temp / L"orvekteacher.per-user.cfg"), "teacher");
  ExpectSampleTree(UpgradeTarget());
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"), L"");
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
            (UpgradeTarget() / L"uninstall.exe").wstring());
}

// Another account's per-user installation in the folder an all-users run
// installs to: its entry lives in that account's hive, out of the run's
// sight, but its files are an earlier installation all the same. A failed
// run brings it back as it was; a completed one replaces it, its settings
// kept.
TEST_F(SilentInstallTest, FilesAtTheTargetThatNoEntryNamesAreAnEarlierInstallation) {
  for (const wchar_t* file : {L"orvekclient.exe", L"app.cfg", L"notes.txt"}) {
    fs::create_directories(UpgradeTarget());
    std::ofstream(UpgradeTarget() / file) << "theirs";
  }
  const std::vector<fs::path> except = {fs::path(system::GetTempDirectory()) / L"orvek" / L"teacher-install.log",
                                        fs::path(system::GetTempDirectory()) / L"orvekteacher.cfg"};
  const fs::path damaged = DamagedAtALateItem();
  const auto before = Snapshot(except);
  const Outcome failed = Run(damaged, UpgradeArgs());
  EXPECT_EQ(failed.code, 4604u) << failed.log;
  EXPECT_EQ(Differences(before, Snapshot(except)), std::vector<std::wstring>());
  for (const std::string& line : {"earlier installation at the target, " + UpgradeTarget().string(),
                                 "earlier installation moved back, " + Aside().string()}) {
    EXPECT_NE(failed.log.find(line), std::string::npos) << line << "\n" << failed.log;
  }
  EXPECT_EQ(ReadAll(fs::path(system::GetTempDirectory()) / L"orvekteacher.cfg"), "theirs");

  const Outcome run = Run(Installer(), UpgradeArgs());
  EXPECT_EQ(run.code, 0u) << run.log;
  EXPECT_NE(run.log.find("moved-aside directory removed, " + Aside().string()), std::string::npos) << run.log;
  ExpectSampleTree(UpgradeTarget());
  EXPECT_FALSE(fs::exists(UpgradeTarget() / L"notes.txt"));
  EXPECT_FALSE(fs::exists(Aside()));
  EXPECT_EQ(ReadAll(fs::path(system::GetTempDirectory()) / L"orvekteacher.cfg"), "theirs");
}

}  // namespace
}  // namespace orvek::test
