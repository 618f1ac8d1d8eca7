// Whole installations from a packed installer, driven the way a person uses
// the window: start it, look at the first page, press "立即安装", wait for
// the page that ends it, press its button.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

#include "base/unicode.h"
#include "net/json_value.h"
#include "net/service_config.h"
#include "readme_examples.h"
#include "support/child_process.h"
#include "support/drive_fill.h"
#include "support/log_tail.h"
#include "support/scratch_dir.h"
#include "support/top_windows.h"
#include "support/wine_links.h"
#include "support/window_capture.h"
#include "system/files/temp_directory.h"
#include "ui_driver.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kTimeout = 60000;
constexpr const wchar_t* kUninstallKey = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher";
constexpr const wchar_t* kV50Key =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\9d2b61e4-58a3-5c07-b1f8-3e6a0c4d7b92";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  while (!done()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(50);
  }
  return true;
}

// Waits until the log says how the installation ended: "ok", or the log.
std::string WaitForOutcome(const LogTail& log, DWORD timeout_ms = kTimeout) {
  std::string text;
  const bool ended = WaitUntil(
      [&] {
        text = log.Appended();
        return text.find("install ok.") != std::string::npos ||
               text.find("install failed, ") != std::string::npos;
      },
      timeout_ms);
  if (!ended) return "timeout: " + text;
  return text.find("install ok.") != std::string::npos ? "ok" : text;
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

// `view` KEY_WOW64_32KEY: as the installer sees HKEY_LOCAL_MACHINE.
std::wstring RegistryString(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view = 0) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return L"";
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  const LONG status = ::RegGetValueW(opened, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, value, &size);
  ::RegCloseKey(opened);
  return status == ERROR_SUCCESS ? value : L"";
}

fs::path CommonFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

void SetRegistryString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  HKEY k = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(k);
}

// Every file of the packed sample tree, compared with what was installed.
void ExpectSampleTree(const fs::path& target, bool with_updater) {
  const fs::path source = WindowsPath(ORVEK_SAMPLE_TREE);
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), source);
    const fs::path installed = target / relative;
    if (relative == L"update.exe" && !with_updater) {
      EXPECT_FALSE(fs::exists(installed));
      continue;
    }
    EXPECT_EQ(ReadAll(installed), ReadAll(entry.path())) << installed.string();
    ++files;
  }
  EXPECT_EQ(files, with_updater ? 8u : 7u);
}

// What the stand-in services received, one request per entry, from the
// point at which it was constructed.
class StandInRecord {
 public:
  StandInRecord() : start_(ReadAll(Path()).size()) {}
  std::vector<net::Json> Requests() const {
    std::vector<net::Json> requests;
    std::istringstream lines(ReadAll(Path()).substr(start_));
    for (std::string line; std::getline(lines, line);) {
      if (auto entry = net::ParseJson(line)) requests.push_back(std::move(*entry));
    }
    return requests;
  }
  // The upload document of the first event report, waiting for it to come.
  std::optional<net::Json> WaitForEvent() const {
    std::optional<net::Json> found;
    WaitUntil(
        [&] {
          for (const auto& entry : Requests()) {
            if (net::ReadAsText(entry, "method") == "POST") found = net::ParseJson(net::ReadAsText(entry, "body_text"));
          }
          return found.has_value();
        },
        10000);
    return found;
  }
  static bool AskedForVersion(const net::Json& entry, const std::string& version) {
    return net::ReadAsText(entry, "query").find("versionName=" + version) != std::string::npos;
  }

 private:
  static fs::path Path() { return WindowsPath(ORVEK_STAND_IN_RECORD); }
  size_t start_;
};

// Stands in for the browser: the prefix's "https" association starts a copy
// of the sample client, which records the address it was given in the
// current folder, which it shares with the installer and this test.
class BrowserProbe {
 public:
  explicit BrowserProbe(const fs::path& folder) : exe_(folder / L"browser.exe") {
    fs::copy_file(fs::path(WindowsPath(ORVEK_SAMPLE_TREE)) / L"orvekclient.exe", exe_);
    SetRegistryString(HKEY_LOCAL_MACHINE, kKey, L"", L"\"" + exe_.wstring() + L"\" \"%1\"");
  }
  ~BrowserProbe() {
    SetRegistryString(HKEY_LOCAL_MACHINE, kKey, L"", saved_);
    fs::remove(record_);
  }
  // Whether the browser was started with `address`, waiting for it.
  bool WaitForPage(const std::wstring& address) const {
    return WaitUntil(
        [&] {
          const std::string bytes = ReadAll(record_);
          const std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
          return line.find(L"\"" + address + L"\"") != std::wstring::npos;
        },
        20000);
  }

 private:
  static constexpr const wchar_t* kKey = L"Software\\Classes\\https\\shell\\open\\command";
  const std::wstring saved_ = RegistryString(HKEY_LOCAL_MACHINE, kKey, L"");
  const fs::path exe_;
  const fs::path record_ = fs::current_path() / L"browser.exe.started";
};

// A copy of `installer` carrying package version `version` (at most 11 bytes).
void SetPackageVersion(const fs::path& installer, const std::string& version) {
  std::string field(11, '\0');
  field.replace(0, version.size(), version);
  std::fstream patch(installer, std::ios::binary | std::ios::in | std::ios::out);
  patch.seekp(132);
  patch.write(field.data(), 11);
}

// What a started sample program recorded (command line, a line break, its
// working directory), once it has; empty when it was not started.
std::wstring WaitForStart(const fs::path& record) {
  WaitUntil([&] { return fs::exists(record) && fs::file_size(record) > 0; }, 10000);
  const std::string bytes = ReadAll(record);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

void SaveScreenshot(HWND window, const wchar_t* name) {
  const fs::path shot = fs::path(WindowsPath(ORVEK_SCREENSHOT_DIR)) / name;
  fs::create_directories(shot.parent_path());
  SaveWindowPng(window, shot.wstring());
}

// The folders the payload stretch makes below the temporary directory.
size_t PrivateTempFolders() {
  size_t n = 0;
  for (const auto& entry : fs::directory_iterator(system::GetTempDirectory())) {
    if (entry.is_directory() && entry.path().filename().wstring().rfind(L"orvek-", 0) == 0 &&
        entry.path().filename().wstring().rfind(L"orvek-test-", 0) != 0) {
      ++n;
    }
  }
  return n;
}

// The changes a screen reader hears of from the installer's controls: the
// WinEvents of one process, received out of context on this thread while it
// waits in PumpUntil, as lines such as "focus btnFinished".
class WinEventRecord {
 public:
  explicit WinEventRecord(DWORD pid) {
    self_ = this;
    hook_ = ::SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, &OnEvent, pid, 0,
                              WINEVENT_OUTOFCONTEXT);
  }
  WinEventRecord(const WinEventRecord&) = delete;
  WinEventRecord& operator=(const WinEventRecord&) = delete;
  ~WinEventRecord() {
    ::UnhookWinEvent(hook_);
    self_ = nullptr;
  }

  bool Hooked() const { return hook_ != nullptr; }
  bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    while (!done()) {
      if (::GetTickCount64() > deadline) return false;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    return true;
  }
  // The lines of the controls named in `controls`, in the order they came;
  // a run of equal lines is one.
  std::vector<std::wstring> Of(std::initializer_list<const wchar_t*> controls) const {
    std::vector<std::wstring> lines;
    for (const std::wstring& line : lines_) {
      const std::wstring control = line.substr(line.find(L' ') + 1);
      if (std::find(controls.begin(), controls.end(), control) == controls.end()) continue;
      if (lines.empty() || lines.back() != line) lines.push_back(line);
    }
    return lines;
  }
  long Count(const std::wstring& line) const { return std::count(lines_.begin(), lines_.end(), line); }

 private:
  static void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
    if (!self_ || object != OBJID_CLIENT) return;
    const wchar_t* kind = event == EVENT_OBJECT_FOCUS         ? L"focus"
                          : event == EVENT_OBJECT_STATECHANGE ? L"state"
                          : event == EVENT_OBJECT_NAMECHANGE  ? L"name"
                          : event == EVENT_OBJECT_VALUECHANGE ? L"value"
                                                              : nullptr;
    if (kind) self_->lines_.push_back(kind + (L" " + ControlName(hwnd)));
  }

  static inline WinEventRecord* self_ = nullptr;
  HWINEVENTHOOK hook_ = nullptr;
  std::vector<std::wstring> lines_;
};

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override { Forget(); }
  void TearDown() override {
    child_.Terminate();
    Forget();
  }

  // No installation recorded, no installed tree.
  static void Forget() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY, 0);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kV50Key);
    std::error_code ec;
    fs::remove_all(DefaultTarget(), ec);
    fs::remove(CommonFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / L"Orvek教师客户端.lnk", ec);
    fs::remove_all(CommonFolder(CSIDL_COMMON_PROGRAMS) / L"Orvek", ec);
  }

  // A copy of the sample installer at `relative` below the scratch folder.
  fs::path Installer(const fs::path& relative = L"orvek-setup-v6.15.1.exe") {
    const fs::path installer = dir_.path() / relative;
    fs::create_directories(installer.parent_path());
    fs::copy_file(WindowsPath(ORVEK_SAMPLE_INSTALLER), installer, fs::copy_options::overwrite_existing);
    return installer;
  }

  // Starts `installer` and waits for its window.
  HWND Start(const fs::path& installer) {
    child_ = ChildProcess::Start(installer.wstring(), {});
    window_ = WaitForTopWindow(
        child_.Pid(), [](HWND h) { return WindowClass(h) == L"TfrmTeacherMain"; }, 20000, child_.Handle());
    return window_;
  }

  HWND Control(const wchar_t* name) { return FindControl(window_, name); }
  std::wstring Text(const wchar_t* name) { return ControlText(Control(name)); }
  bool Visible(const wchar_t* name) { return ::IsWindowVisible(Control(name)) != FALSE; }
  void Press(const wchar_t* name) { PressControl(Control(name)); }

  // Presses "安装完成", starting the client or not, and expects the end.
  void Finish(bool run_client = false) {
    if (!run_client) Press(L"chkRunApp");
    Press(L"btnFinished");
    EXPECT_EQ(child_.WaitForExit(20000), 0u);
  }

  // One whole installation from `installer`, after pressing the controls
  // named in `options`; returns its log.
  std::string InstallWith(const fs::path& installer, std::initializer_list<const wchar_t*> options = {},
                          bool run_client = false) {
    LogTail log;
    if (!Start(installer)) return "no window";
    for (const wchar_t* option : options) Press(option);
    Press(L"btnInstall");
    const std::string outcome = WaitForOutcome(log);
    EXPECT_EQ(outcome, "ok");
    const std::string text = log.Appended();
    Finish(run_client);
    return text;
  }

  ScratchDir dir_;
  ChildProcess child_;
  HWND window_ = nullptr;
};

TEST_F(InstallTest, AFirstInstallationFillsTheDefaultTargetAndRegistersIt) {
  const fs::path target = DefaultTarget();
  const StandInRecord services;
  LogTail log;
  const fs::path stale = LeaveStalePrivateFolder();
  ASSERT_TRUE(fs::exists(stale / L"orvekteacher-tmp.zip"));
  ASSERT_NE(Start(Installer(L"NoUpdate\\orvek-setup-v6.15.1.exe")), nullptr);
  EXPECT_FALSE(fs::exists(stale)) << "the next run clears what an ended one left";
  EXPECT_EQ(Text(L"lblVersion"), L"版本：v6.15.1");
  EXPECT_EQ(Text(L"edtInstallDir"), target.wstring());
  const std::wstring free_space = Text(L"lblInfo");
  EXPECT_EQ(free_space.rfind(L"磁盘剩余空间：", 0), 0u);
  const std::string first = log.Appended();
  EXPECT_NE(first.find("FormCreate hide expand"), std::string::npos);
  EXPECT_NE(first.find("formsize520,325, "), std::string::npos) << first;

  Press(L"btnInstall");
  ASSERT_EQ(WaitForOutcome(log), "ok");
  // Every page is a visible window; only the one in front is seen.
  EXPECT_EQ(::GetWindow(Control(L"pnlBottom"), GW_CHILD), Control(L"pnlFinished"));
  EXPECT_EQ(Text(L"lblProgressValue"), L"100%");
  // The sample carries the environment-check tool, so its link shows.
  EXPECT_TRUE(Visible(L"lblEnvCheck"));
  ExpectSampleTree(target, /*with_updater=*/true);  // "NoUpdate" is not "noupdate"
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"),
            (target / L"uninstall.exe").wstring());
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UrlInfoAbout"), net::kWebSiteHome);
  const std::string text = log.Appended();
  for (const char* line : {"begin to install...", "UnzipProgressCallback100", "unzip file finished."}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(text.find("begin to uninstall oldversion"), std::string::npos) << "nothing to remove";
  SaveScreenshot(window_, L"install-finished.png");
  // "环境检测" starts the tool with the client identifier, in the target folder.
  ClickControl(Control(L"lblEnvCheck"));
  const std::wstring tool = WaitForStart(target / L"orvekRunTimeCheck.exe.started");
  EXPECT_NE(tool.find(L" -single orvek_runtime_check -auto -clientId "), std::wstring::npos) << tool;
  EXPECT_EQ(tool.substr(tool.find(L'\n') + 1), target.wstring());
  Finish();
  EXPECT_FALSE(fs::exists(target / L"orvekclient.exe.started")) << "the run box was cleared";

  // The version was asked for once, and the install event arrived.
  const auto requests = services.Requests();
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                          [](const net::Json& e) { return StandInRecord::AskedForVersion(e, "6.15.1"); }),
            1);
  const std::optional<net::Json> upload = services.WaitForEvent();
  ASSERT_TRUE(upload.has_value());
  const net::Json& record = (*upload)["logJson"][0];
  EXPECT_EQ(net::ReadAsText(record, "page"), ".def.app.install");
  EXPECT_EQ(net::ReadAsText(record, "control"), "应用安装");
  EXPECT_EQ(net::ReadAsText(record, "event"), "OTHER");
  EXPECT_EQ(net::ReadAsText(record, "appVersion"), "v6.15.1");
  EXPECT_EQ(net::ReadAsText(record, "clientId").size(), 40u);
  const net::Json* ext = net::FindMember(record, "extData");
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(net::ReadAsText(*ext, "clientPath"), target.string());
  EXPECT_EQ(base::WideFromUtf8(net::ReadAsText(*ext, "clientPathAvlspace")), free_space.substr(7));
}

TEST_F(InstallTest, WithoutTheCheckToolTheFinishedPageHidesItsLink) {
  const fs::path installer = dir_.path() / L"orvek-setup-v6.15.1.exe";
  fs::copy_file(WindowsPath(ORVEK_SAMPLE_WITHOUT_CHECK_TOOL), installer);
  LogTail log;
  ASSERT_NE(Start(installer), nullptr);
  Press(L"btnInstall");
  ASSERT_EQ(WaitForOutcome(log), "ok");
  EXPECT_EQ(::GetWindow(Control(L"pnlBottom"), GW_CHILD), Control(L"pnlFinished"));
  EXPECT_FALSE(Visible(L"lblEnvCheck"));
  Finish();
}

TEST_F(InstallTest, ASecondRunRemovesTheFirstInstallationAndInstallsAgain) {
  const fs::path target = DefaultTarget();
  InstallWith(Installer());
  const fs::path backup = fs::path(system::GetTempDirectory()) / L"orvekteacher.cfg";
  fs::remove(backup);

  // The client's user data goes when asked for.
  const fs::path user_data = fs::path(_wgetenv(L"APPDATA")) / L"orvekclient";
  fs::create_directories(user_data / L"cache");
  std::ofstream(user_data / L"cache" / L"session.dat") << "session";

  // The installer's own entry is found as the earlier generation.
  const LogTail whole_run;
  const std::string text =
      InstallWith(Installer(L"noupdate\\orvek-setup-v6.15.1.exe"), {L"btnExpandAndPickup", L"chkClearData"},
                  /*run_client=*/true);
  EXPECT_FALSE(fs::exists(user_data)) << text;
  // "安装完成" with the run box set started the client in the target folder,
  // through the desktop shell (Wine's desktop has one).
  const std::wstring started = WaitForStart(target / L"orvekclient.exe.started");
  EXPECT_NE(whole_run.Appended().find("started through the desktop shell, " + (target / L"orvekclient.exe").string()),
            std::string::npos)
      << whole_run.Appended();
  EXPECT_NE(started.find(L"orvekclient.exe"), std::wstring::npos);
  EXPECT_EQ(started.substr(started.find(L'\n') + 1), target.wstring());
  EXPECT_NE(text.find("begin to uninstall oldversion " + target.string() + "\\"), std::string::npos) << text;
  EXPECT_NE(text.find("uninstall oldversion end"), std::string::npos);
  EXPECT_EQ(ReadAll(backup), ReadAll(fs::path(WindowsPath(ORVEK_SAMPLE_TREE)) / L"app.cfg"));
  ExpectSampleTree(target, /*with_updater=*/false);  // removed on request: "noupdate"
  // The first installation waited aside until the second was complete.
  EXPECT_NE(text.find("moved-aside directory removed, " + target.string() + ".orvek-previous"), std::string::npos);
  EXPECT_FALSE(fs::exists(target.wstring() + L".orvek-previous"));
  EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"),
            (target / L"uninstall.exe").wstring());
}

// The client is never started with more rights than the signed-in user's.
// Wine's desktop always has its shell and Wine has one account, so seams
// stand in: ORVEK_TEST_NO_DESKTOP_SHELL for a session whose shell cannot be
// reached (no explorer running), ORVEK_TEST_AS_LOCAL_SYSTEM for a run under
// a management tool, which starts it with the console user's token (Wine
// hands out its one user's token for that).
TEST_F(InstallTest, TheClientStartsOnlyAsTheSignedInUser) {
  const fs::path target = DefaultTarget();
  const fs::path record = target / L"orvekclient.exe.started";
  const std::string client = (target / L"orvekclient.exe").string();
  const struct {
    const wchar_t* seam;
    std::string line;
    bool started;
  } cases[] = {
      {L"ORVEK_TEST_NO_DESKTOP_SHELL",
       "desktop shell not reached, IShellWindows::FindWindowSW failed, error 1, not started, " + client, false},
      {L"ORVEK_TEST_AS_LOCAL_SYSTEM", "started as the user of console session 1, " + client, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line.begin(), c.line.begin() + 20));
    ::SetEnvironmentVariableW(c.seam, L"1");
    const LogTail whole_run;
    InstallWith(Installer(), {}, /*run_client=*/true);
    ::SetEnvironmentVariableW(c.seam, nullptr);
    EXPECT_NE(whole_run.Appended().find(c.line), std::string::npos) << whole_run.Appended();
    EXPECT_EQ(WaitUntil([&] { return fs::exists(record); }, c.started ? 10000 : 3000), c.started);
    EXPECT_EQ(whole_run.Appended().find("started directly"), std::string::npos);
    fs::remove(record);
  }
  // The all-users installation of the run as LocalSystem.
  std::error_code ec;
  for (const int folder : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS}) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
    fs::remove(fs::path(path) / L"Orvek教师客户端.lnk", ec);
    fs::remove_all(fs::path(path) / L"Orvek", ec);
  }
}

// The README's computer start-up script (LocalSystem) and a teacher's run of
// the window, taking turns on one PC: the teacher's run upgrades what the
// script deployed for all users, the script finds it upgraded and leaves it,
// and nobody's entry or shortcuts go. Wine has one account: the seam
// ORVEK_TEST_AS_LOCAL_SYSTEM stands for the script's LocalSystem, the plain
// window run for the teacher. (The user's own desktop is not looked at: under
// Wine it is the Unix home, which every prefix on the machine shares.)
TEST_F(InstallTest, TheStartUpScriptAndATeachersWindowRunKeepOneAllUsersInstallation) {
  const fs::path common_link = CommonFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / L"Orvek教师客户端.lnk";
  const fs::path common_menu = CommonFolder(CSIDL_COMMON_PROGRAMS) / L"Orvek";
  std::string script;
  for (const ReadmeExample& example : ReadmeExamples()) {
    if (example.script && example.text.find("/ALLUSERS") != std::string::npos) script = example.text;
  }
  ASSERT_NE(script, "") << "the README's start-up script for all users";
  const fs::path deploy = dir_.path() / L"deploy";
  fs::create_directories(deploy);
  Installer(L"deploy\\orvek-setup-v6.15.1.exe");
  const ScopedDrive deploy_drive(L'U', deploy.wstring());
  const fs::path batch = dir_.path() / L"startup.bat";
  std::ofstream(batch, std::ios::binary) << StartingFromDriveU(script);
  wchar_t cmd[MAX_PATH] = {};
  ::GetSystemDirectoryW(cmd, MAX_PATH);
  wchar_t log_path[MAX_PATH] = {};
  ::ExpandEnvironmentStringsW(L"%SystemRoot%\\Temp\\orvek-install.log", log_path, MAX_PATH);
  fs::remove(log_path);
  const auto expect_one_all_users_installation = [&] {
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", KEY_WOW64_32KEY),
              (DefaultTarget() / L"uninstall.exe").wstring());
    EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"), L"");
    EXPECT_TRUE(fs::exists(common_link));
    EXPECT_TRUE(fs::exists(common_menu / L"Orvek教师客户端.lnk"));
    EXPECT_FALSE(fs::exists(DefaultTarget().wstring() + L".orvek-previous"));
    ExpectSampleTree(DefaultTarget(), /*with_updater=*/true);
  };

  std::string script_log;
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", L"1");
    const DWORD code = ChildProcess::Start(std::wstring(cmd) + L"\\cmd.exe", {L"/c", batch.wstring()}).WaitForExit(120000);
    ::SetEnvironmentVariableW(L"ORVEK_TEST_AS_LOCAL_SYSTEM", nullptr);
    EXPECT_EQ(code, 0u);
    // The script installs once; afterwards its detection finds the
    // installation the teacher's runs keep for all users.
    if (round == 1) {
      script_log = ReadAll(log_path);
      EXPECT_NE(script_log.find("all-users installation, /ALLUSERS"), std::string::npos) << script_log;
      EXPECT_NE(script_log.find("silent install end, 0 success"), std::string::npos) << script_log;
    }
    EXPECT_EQ(ReadAll(log_path), script_log) << "installed again by the script";
    expect_one_all_users_installation();

    LogTail log;
    ASSERT_NE(Start(Installer()), nullptr);
    EXPECT_EQ(Text(L"edtInstallDir"), DefaultTarget().wstring());
    Press(L"btnInstall");
    ASSERT_EQ(WaitForOutcome(log), "ok");
    Finish();
    const std::string text = log.Appended();
    EXPECT_NE(text.find("all-users installation, upgrading the all-users installation in " + DefaultTarget().string() +
                        "\\"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("registration removed"), std::string::npos) << text;
    expect_one_all_users_installation();
  }
  fs::remove(log_path);
}

// A v4.9 location whose folder is gone gives way to an existing v5.0 one,
// shown without its final backslash.
TEST_F(InstallTest, TheFirstRecordedLocationThatExistsIsTheTarget) {
  const fs::path v50 = dir_.path() / L"orvek" / L"v50";
  fs::create_directories(v50);
  SetRegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", L"C:\\gone\\orvek\\uninstall.exe");
  SetRegistryString(HKEY_CURRENT_USER, kV50Key, L"UninstallString",
                    L"\"" + v50.wstring() + L"\\uninst.exe\" /S");
  ASSERT_NE(Start(Installer()), nullptr);
  EXPECT_EQ(Text(L"edtInstallDir"), v50.wstring());
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
}

// Eleven zero bytes of version: the caption alone, and no version check.
TEST_F(InstallTest, AnEmptyPackageVersionShowsTheCaptionAlone) {
  const fs::path installer = Installer();
  SetPackageVersion(installer, "");
  const StandInRecord services;
  LogTail log;
  ASSERT_NE(Start(installer), nullptr);
  EXPECT_EQ(Text(L"lblVersion"), L"版本：");
  ASSERT_TRUE(WaitUntil([&] { return log.Appended().find("formsize") != std::string::npos; }, 10000));
  ::Sleep(1000);  // time enough for a request that should not come
  EXPECT_TRUE(services.Requests().empty());
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
}

// The version service retired the package: the box, then the download page;
// no installation and no log line; the first page stays for a second press.
// Both pages the installer opens lie on the web site the build names.
TEST_F(InstallTest, ARetiredPackageRefusesToInstall) {
  const fs::path installer = Installer();
  SetPackageVersion(installer, "v1.0.0-old");
  const StandInRecord services;
  const BrowserProbe browser(dir_.path());
  ASSERT_NE(Start(installer), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !services.Requests().empty(); }, 10000));
  ::Sleep(500);  // the answer is stored just after it was recorded
  LogTail log;
  for (int press = 0; press < 2; ++press) {
    PostMessageW(Control(L"btnInstall"), WM_KEYDOWN, VK_SPACE, 0);
    const HWND box = WaitForTopWindow(
        child_.Pid(), [](HWND h) { return WindowClass(h) == L"#32770" && WindowText(h) == L"错误"; }, 30000);
    ASSERT_NE(box, nullptr);
    if (press == 0) SaveScreenshot(window_, L"page-retired.png");  // the box is over the window
    EXPECT_EQ(AnswerMessageBox(child_.Pid(), L"错误", IDOK, 5000), L"当前版本已停用，请从官网下载最新安装包！");
    // Opening the download page takes Wine a moment before the next press.
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }, 10000));
  }
  EXPECT_TRUE(Visible(L"btnInstall"));
  EXPECT_TRUE(::IsWindowEnabled(Control(L"btnInstall")));
  EXPECT_EQ(log.Appended(), "");
  for (const wchar_t* page : {L"/download", L"/privacy/license.html"}) {
    if (page[1] == L'p') ClickControl(Control(L"lbl1"));  // "使用许可协议"
    const std::wstring address = net::kWebSite + std::wstring(page);
    EXPECT_TRUE(browser.WaitForPage(address)) << base::Utf8FromWide(address);
  }
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
}

// The version service never answers: closing the window ends the program
// all the same, and the late check touches nothing of the window.
TEST_F(InstallTest, ClosingTheWindowWhileTheVersionCheckWaitsEndsTheProgram) {
  const fs::path installer = Installer();
  SetPackageVersion(installer, "v1.0.0-slow");
  const StandInRecord services;
  ASSERT_NE(Start(installer), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !services.Requests().empty(); }, 10000));
  ::PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
}

// No payload offset: a retryable error, and retrying runs the whole sequence
// again (with the same outcome, the file being what it is).
TEST_F(InstallTest, AMissingPayloadOffsetOffersARetry) {
  const fs::path installer = Installer();
  {
    std::fstream patch(installer, std::ios::binary | std::ios::in | std::ios::out);
    patch.seekp(128);
    patch.write("\0\0\0\0", 4);
  }
  LogTail log;
  ASSERT_NE(Start(installer), nullptr);
  for (const wchar_t* button : {L"btnInstall", L"btnRetry"}) {
    Press(button);
    ASSERT_TRUE(WaitUntil([&] { return Visible(L"btnRetry"); }, 20000)) << log.Appended();
    EXPECT_EQ(Text(L"lblError"), L"请关闭当前程序，重新安装！");
    EXPECT_EQ(Text(L"btnRetry"), L"重试");
    ::Sleep(200);  // the worker's last line
  }
  const std::string text = log.Appended();
  EXPECT_NE(text.find("retry install again..."), std::string::npos);
  size_t refused = 0;
  for (size_t at = text.find("get zip file postion less then 0"); at != std::string::npos;
       at = text.find("get zip file postion less then 0", at + 1)) {
    ++refused;
  }
  EXPECT_EQ(refused, 2u);
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
}

TEST_F(InstallTest, ASecondInstallerEndsAtOnceWithoutAWindow) {
  ASSERT_NE(Start(Installer()), nullptr);
  ChildProcess second = ChildProcess::Start(Installer(L"again.exe").wstring(), {});
  EXPECT_EQ(second.WaitForExit(10000), 0u);
  EXPECT_TRUE(VisibleTopWindows(second.Pid()).empty());
  EXPECT_TRUE(::IsWindow(window_)) << "the first one goes on";
}

TEST_F(InstallTest, ARunningClientIsReportedAndRetryInstallsOnceItHasEnded) {
  HANDLE client = ::CreateMutexW(nullptr, FALSE, L"#OrvekTeacher");
  ASSERT_NE(Start(Installer()), nullptr);
  LogTail log;
  Press(L"btnInstall");
  EXPECT_TRUE(Visible(L"lblError"));
  EXPECT_EQ(Text(L"lblError"), L"检测到您正在运行Orvek教师客户端，请退出后点击重试！");
  EXPECT_TRUE(Visible(L"btnRetry"));
  EXPECT_EQ(Text(L"btnRetry"), L"重试");
  EXPECT_EQ(ControlSkinItem(Control(L"tbProgress")), L"trackbarRed");
  EXPECT_NE(log.Appended().find("Orvek教师客户端正在运行中..."), std::string::npos);

  ::CloseHandle(client);
  Press(L"btnRetry");
  ASSERT_EQ(WaitForOutcome(log), "ok");
  const std::string text = log.Appended();
  EXPECT_LT(text.find("retry install again..."), text.rfind("begin to install..."));
  Finish();
}

TEST_F(InstallTest, ABrokenArchiveEndsOnTheFailedPageAndCloseEndsTheProgram) {
  const fs::path installer = Installer();
  std::int32_t offset = 0;
  std::ifstream(installer, std::ios::binary).seekg(128).read(reinterpret_cast<char*>(&offset), 4);
  const std::uintmax_t size = fs::file_size(installer);
  ASSERT_GT(size, static_cast<std::uintmax_t>(offset));
  fs::resize_file(installer, offset + (size - offset) / 2);  // the archive's second half is gone
  const size_t folders_before = PrivateTempFolders();
  LogTail log;
  ASSERT_NE(Start(installer), nullptr);
  Press(L"btnInstall");
  ASSERT_NE(WaitForOutcome(log), "ok");
  ASSERT_TRUE(WaitUntil([&] { return Text(L"btnRetry") == L"关闭"; }, 10000));
  EXPECT_EQ(Text(L"lblError"), L"安装异常，请关闭当前程序重新安装！");
  EXPECT_TRUE(Visible(L"btnRetry"));
  EXPECT_EQ(PrivateTempFolders(), folders_before) << "the temporary archive's folder is gone";
  Press(L"btnRetry");
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
}

// A person at the keyboard, one page after the other: Tab reaches every
// operable control of the page in front, and the caption buttons, in reading
// order and nothing else; Enter and Space press the focused control, keys
// pressed while the installation runs start nothing, and each page puts the
// focus on its button.
TEST_F(InstallTest, TheKeyboardReachesThePageInFrontOnly) {
  const auto focus = [&] { return FocusedControl(window_); };
  const auto focus_becomes = [&](const wchar_t* name) {
    return WaitUntil([&] { return focus() == Control(name); }, 20000);
  };
  const auto tab = [&] {
    const HWND before = focus();
    PressKey(VK_TAB);
    WaitUntil([&] { return focus() != before; }, 2000);
  };
  const auto tab_to = [&](const wchar_t* page, const wchar_t* name) {
    for (int press = 0; press < 12 && focus() != Control(name); ++press) {
      tab();
      EXPECT_TRUE(::IsChild(Control(page), focus()) || ::IsChild(Control(L"pnlTop"), focus()))
          << "Tab left " << base::Utf8FromWide(page);
    }
    return focus() == Control(name);
  };
  const auto height = [&] {
    RECT r{};
    ::GetWindowRect(window_, &r);
    return r.bottom - r.top;
  };
  const BrowserProbe browser(dir_.path());
  LogTail log;
  ASSERT_NE(Start(Installer()), nullptr);
  ::SetForegroundWindow(window_);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == window_; }, 10000));
  Press(L"btnExpandAndPickup");
  ASSERT_TRUE(tab_to(L"pnlPreInstall", L"btnInstall"));
  std::vector<std::wstring> cycle;
  for (int press = 0; press < 11; ++press) {
    tab();
    cycle.push_back(ControlName(focus()));
  }
  EXPECT_EQ(cycle, (std::vector<std::wstring>{L"chkReadlLicense", L"lbl1", L"btnExpandAndPickup", L"edtInstallDir",
                                              L"btnFolder", L"chkAddDesktop", L"chkClearData", L"chkAddStartMenu",
                                              L"btnRollUp", L"btnMinimize", L"btnInstall"}));
  // The three that Tab once passed by do what a click does.
  ASSERT_TRUE(tab_to(L"pnlPreInstall", L"lbl1"));
  SaveScreenshot(window_, L"keyboard-link.png");
  PressKey(VK_RETURN);
  EXPECT_TRUE(browser.WaitForPage(net::kWebSite + std::wstring(L"/privacy/license.html")));
  ::SetForegroundWindow(window_);
  ASSERT_TRUE(tab_to(L"pnlPreInstall", L"btnRollUp"));
  PressKey(VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return height() == 32; }, 5000)) << height();
  PressKey(VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return height() == 460; }, 5000)) << height();
  ASSERT_TRUE(tab_to(L"pnlPreInstall", L"btnMinimize"));
  PressKey(VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return ::IsIconic(window_) != FALSE; }, 5000));
  ::ShowWindow(window_, SW_RESTORE);
  ::SetForegroundWindow(window_);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == window_; }, 10000));
  ASSERT_TRUE(tab_to(L"pnlPreInstall", L"btnInstall"));
  PressKey(VK_RETURN);  // installs
  PressKey(VK_RETURN);  // while it installs: nothing
  PressKey(VK_SPACE);
  ASSERT_EQ(WaitForOutcome(log), "ok");
  ASSERT_TRUE(focus_becomes(L"btnFinished"));
  SaveScreenshot(window_, L"keyboard-finished.png");
  ASSERT_TRUE(tab_to(L"pnlFinished", L"chkRunApp"));
  PressKey(VK_SPACE);  // no client started
  ASSERT_TRUE(tab_to(L"pnlFinished", L"btnFinished"));
  PressKey(VK_RETURN);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
  const std::string text = log.Appended();
  EXPECT_EQ(text.find("begin to install..."), text.rfind("begin to install...")) << text;
  EXPECT_EQ(text.find("install ok."), text.rfind("install ok.")) << text;

  // The failed page: its one button, "关闭", has the focus and ends the program.
  const fs::path broken = Installer(L"broken.exe");
  fs::resize_file(broken, fs::file_size(broken) - 100000);
  LogTail failed_log;
  ASSERT_NE(Start(broken), nullptr);
  ::SetForegroundWindow(window_);
  ASSERT_TRUE(tab_to(L"pnlPreInstall", L"btnInstall"));
  PressKey(VK_SPACE);
  ASSERT_NE(WaitForOutcome(failed_log), "ok");
  ASSERT_TRUE(focus_becomes(L"btnRetry"));
  EXPECT_EQ(Text(L"btnRetry"), L"关闭");
  SaveScreenshot(window_, L"keyboard-failed.png");
  PressKey(VK_RETURN);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
}

// The changes of an installation reach a screen reader as events: a check
// box toggled and the install button it governs, the options button's new
// caption, the page that takes the focus, the progress in whole percents and
// the finish button that has the focus at the end.
TEST_F(InstallTest, AnInstallationIsAnnouncedToScreenReaders) {
  LogTail log;
  ASSERT_NE(Start(Installer()), nullptr);
  ::SetForegroundWindow(window_);
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == window_; }, 10000));
  // The licence box is toggled from the keyboard, as a person does it.
  for (int press = 0; press < 12 && FocusedControl(window_) != Control(L"chkReadlLicense"); ++press) {
    const HWND before = FocusedControl(window_);
    PressKey(VK_TAB);
    WaitUntil([&] { return FocusedControl(window_) != before; }, 2000);
  }
  ASSERT_EQ(FocusedControl(window_), Control(L"chkReadlLicense"));
  WinEventRecord events(child_.Pid());
  ASSERT_TRUE(events.Hooked());
  Press(L"btnExpandAndPickup");  // "展开" becomes "收起"
  PressKey(VK_SPACE);  // cleared: the install button becomes unavailable
  ASSERT_TRUE(events.PumpUntil([&] { return !::IsWindowEnabled(Control(L"btnInstall")); }, 5000));
  PressKey(VK_SPACE);
  ASSERT_TRUE(events.PumpUntil([&] { return ::IsWindowEnabled(Control(L"btnInstall")) != FALSE; }, 5000));
  Press(L"btnInstall");
  ASSERT_TRUE(events.PumpUntil([&] { return events.Count(L"focus btnFinished") > 0; }, kTimeout)) << log.Appended();
  EXPECT_EQ(events.Of({L"btnExpandAndPickup", L"chkReadlLicense", L"btnInstall", L"pnlInstalling", L"tbProgress",
                       L"btnFinished"}),
            (std::vector<std::wstring>{L"name btnExpandAndPickup", L"state chkReadlLicense", L"state btnInstall",
                                       L"state chkReadlLicense", L"state btnInstall", L"focus pnlInstalling",
                                       L"name btnExpandAndPickup", L"value tbProgress", L"focus btnFinished"}));
  EXPECT_GE(events.Count(L"value tbProgress"), 1);
  EXPECT_LE(events.Count(L"value tbProgress"), 100) << "at most one per whole percent";
  EXPECT_EQ(Text(L"lblProgressValue"), L"100%");
  Finish();
}

TEST_F(InstallTest, ClosingTheWindowWhileTheWorkerRunsEndsTheProgramCleanly) {
  for (int round = 0; round < 2; ++round) {
    ASSERT_NE(Start(Installer()), nullptr);
    Press(L"btnInstall");
    ::PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(child_.WaitForExit(20000), 0u) << "round " << round;
  }
}

// A drive of 820 MiB (mounted as S: when the tests run as root): filled to
// leave 0.79 units for the target, then for the temporary directory, then
// emptied to leave 0.80.
TEST_F(InstallTest, TooLittleSpaceOnTheTargetOrTheTemporaryDrive) {
  if (!fs::is_directory(L"S:\\")) GTEST_SKIP() << "no small drive S: (needs root to mount it)";
  const fs::path target = L"S:\\orvek\\orvekteacher";
  fs::create_directories(target);
  SetRegistryString(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString", target.wstring() + L"\\uninstall.exe");
  const fs::path fill = L"S:\\fill.bin";
  ASSERT_NO_FATAL_FAILURE(FillDriveLeaving(fill, static_cast<std::uint64_t>(0.79 * 1073741824.0)));
  LogTail log;
  ASSERT_NE(Start(Installer()), nullptr);
  EXPECT_EQ(Text(L"edtInstallDir"), target.wstring());
  EXPECT_TRUE(Visible(L"lblErrorInfo"));
  EXPECT_EQ(Text(L"lblErrorInfo"), L"该磁盘剩余空间不足，请重新选择安装路径！");
  EXPECT_FALSE(Visible(L"lblInfo"));
  EXPECT_FALSE(::IsWindowEnabled(Control(L"btnInstall")));
  EXPECT_EQ(ControlSkinItem(Control(L"btnExpandAndPickup")), L"btnPickup");
  const std::string text = log.Appended();
  EXPECT_NE(text.find("FormCreate show expand"), std::string::npos);
  EXPECT_NE(text.find("formsize520,460, "), std::string::npos) << text;
  SaveScreenshot(window_, L"page-low-disk.png");
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);

  // The temporary directory on that drive: the warning, then the end,
  // without the window.
  {
    fs::create_directories(L"S:\\temp");
    wchar_t saved[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    ::SetEnvironmentVariableW(L"TMP", L"S:\\temp");
    child_ = ChildProcess::Start(Installer().wstring(), {});
    ::SetEnvironmentVariableW(L"TMP", saved[0] ? saved : nullptr);
    ASSERT_NE(WaitForTopWindow(
                  child_.Pid(), [](HWND h) { return WindowText(h) == L"警告"; }, 20000, child_.Handle()),
              nullptr);
    for (HWND top : VisibleTopWindows(child_.Pid())) EXPECT_NE(WindowClass(top), L"TfrmTeacherMain");
    EXPECT_EQ(AnswerMessageBox(child_.Pid(), L"警告", IDOK, 20000), L"系统磁盘剩余空间不足，请清理磁盘空间！");
    EXPECT_EQ(child_.WaitForExit(20000), 0u);
    const std::string system_disk_log = ReadAll(L"S:\\temp\\orvek\\teacher-install.log");
    EXPECT_EQ(system_disk_log.find("formsize"), std::string::npos) << "the set-up ended at the warning";
  }

  fs::remove(fill);
  LogTail log2;
  ASSERT_NE(Start(Installer()), nullptr);
  EXPECT_EQ(Text(L"lblInfo"), L"磁盘剩余空间：0.80GB");
  EXPECT_TRUE(::IsWindowEnabled(Control(L"btnInstall")));
  EXPECT_NE(log2.Appended().find("formsize520,325, "), std::string::npos);
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(child_.WaitForExit(20000), 0u);
  fs::remove_all(L"S:\\orvek");
}

}  // namespace
}  // namespace orvek::test
