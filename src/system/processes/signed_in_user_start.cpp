#include "system/processes/signed_in_user_start.h"

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <exception>
#include <stdexcept>
#include <string_view>

#include "base/automation_values.h"
#include "base/bound_function.h"
#include "base/com_apartment.h"
#include "base/com_ptr.h"
#include "base/os_error.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "system/processes/local_system.h"
#include "base/system_library.h"
#include "system/test_seams.h"

namespace orvek::system {
namespace {

using base::ComPtr;
using base::UniqueVariant;

void Check(HRESULT hr, const char* operation) {
  if (FAILED(hr)) throw base::OsError(operation, static_cast<DWORD>(hr));
}

void SetText(UniqueVariant& variant, std::wstring_view text) {
  VARIANT* v = variant.put();
  v->bstrVal = base::MakeBstr(text).release();
  v->vt = VT_BSTR;
}

void SetNumber(UniqueVariant& variant, LONG number) {
  VARIANT* v = variant.put();
  v->lVal = number;
  v->vt = VT_I4;
}

// The desktop window's shell view, from the list of the shell's windows, and
// through it the shell's automation object.
ComPtr<IShellDispatch2> DesktopShell() {
  // Wine's desktop always has its shell; the seam stands for a session
  // without one (no explorer running, a replacement shell).
  if (TestSeamSet(L"ORVEK_TEST_NO_DESKTOP_SHELL")) {
    throw base::OsError("IShellWindows::FindWindowSW", static_cast<DWORD>(S_FALSE));
  }
  ComPtr<IShellWindows> windows;
  Check(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                           reinterpret_cast<void**>(windows.put())),
        "CoCreateInstance(ShellWindows)");
  UniqueVariant location, root;
  SetNumber(location, CSIDL_DESKTOP);
  long window = 0;
  ComPtr<IDispatch> desktop;
  const HRESULT found =
      windows->FindWindowSW(location.ptr(), root.ptr(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.put());
  // S_FALSE: no desktop window is registered (another shell, or none).
  if (found != S_OK || !desktop) throw base::OsError("IShellWindows::FindWindowSW", static_cast<DWORD>(found));
  ComPtr<IServiceProvider> provider;
  Check(desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(provider.put())),
        "QueryInterface(IServiceProvider)");
  ComPtr<IShellBrowser> browser;
  Check(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(browser.put())),
        "QueryService(TopLevelBrowser)");
  ComPtr<IShellView> view;
  Check(browser->QueryActiveShellView(view.put()), "IShellBrowser::QueryActiveShellView");
  ComPtr<IDispatch> background;
  Check(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.put())),
        "IShellView::GetItemObject");
  ComPtr<IShellFolderViewDual> folder_view;
  Check(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(folder_view.put())),
        "QueryInterface(IShellFolderViewDual)");
  ComPtr<IDispatch> application;
  Check(folder_view->get_Application(application.put()), "IShellFolderViewDual::get_Application");
  ComPtr<IShellDispatch2> shell;
  Check(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.put())),
        "QueryInterface(IShellDispatch2)");
  return shell;
}

void StartThroughDesktopShell(const std::wstring& program, const std::wstring& parameters,
                              const std::wstring& working_dir) {
  const ComPtr<IShellDispatch2> shell = DesktopShell();
  const base::UniqueBstr file = base::MakeBstr(program);
  UniqueVariant arguments, directory, verb, show;
  SetText(arguments, parameters);
  SetText(directory, working_dir);
  SetText(verb, L"open");
  SetNumber(show, SW_SHOWNORMAL);
  Check(shell->ShellExecute(file.get(), arguments.get(), directory.get(), verb.get(), show.get()),
        "IShellDispatch2::ShellExecute");
}

using WTSQueryUserTokenFn = BOOL(WINAPI*)(ULONG, PHANDLE);
using CreateEnvironmentBlockFn = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
using DestroyEnvironmentBlockFn = BOOL(WINAPI*)(LPVOID);

// Neither DLL is a Known DLL: both come from the system folder by full path,
// and stay loaded for the rest of the process.
struct UserTokenApi {
  WTSQueryUserTokenFn query_user_token = nullptr;
  CreateEnvironmentBlockFn create_environment = nullptr;
  DestroyEnvironmentBlockFn destroy_environment = nullptr;
};

HMODULE LoadOnce(const wchar_t* dll) {
  const HMODULE module = base::LoadSystemLibrary(dll);
  if (module == nullptr) throw base::OsError("LoadLibrary " + base::Utf8FromWide(dll), ::GetLastError());
  return module;
}

const UserTokenApi& UserToken() {
  static const UserTokenApi api = [] {
    UserTokenApi loaded;
    base::BindRequiredFunction(LoadOnce(L"wtsapi32.dll"), "WTSQueryUserToken", loaded.query_user_token);
    const HMODULE userenv = LoadOnce(L"userenv.dll");
    base::BindRequiredFunction(userenv, "CreateEnvironmentBlock", loaded.create_environment);
    base::BindRequiredFunction(userenv, "DestroyEnvironmentBlock", loaded.destroy_environment);
    return loaded;
  }();
  return api;
}

// The user's own environment (profile folders, temporary folder), not the
// system account's, for the program started with the user's token.
class EnvironmentBlock {
 public:
  explicit EnvironmentBlock(HANDLE token) {
    if (!UserToken().create_environment(&block_, token, FALSE)) {
      throw base::OsError("CreateEnvironmentBlock", ::GetLastError());
    }
  }
  EnvironmentBlock(const EnvironmentBlock&) = delete;
  EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
  ~EnvironmentBlock() { UserToken().destroy_environment(block_); }
  void* get() const { return block_; }

 private:
  void* block_ = nullptr;
};

// LocalSystem has no desktop of its own to reach a shell through, but it may
// ask for the token of the user signed in at the console and start the
// program in that session as that user. Returns the session.
DWORD StartAsConsoleUser(const std::wstring& program, const std::wstring& parameters,
                         const std::wstring& working_dir) {
  const DWORD session = ::WTSGetActiveConsoleSessionId();
  if (session == 0xFFFFFFFF) throw std::runtime_error("no session is attached to the console");
  base::UniqueHandle token;
  if (!UserToken().query_user_token(session, token.put())) {
    throw base::OsError("WTSQueryUserToken", ::GetLastError());  // 1008: nobody is signed in there
  }
  const EnvironmentBlock environment(token.get());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  wchar_t desktop[] = L"winsta0\\default";
  startup.lpDesktop = desktop;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  // The program by its full path, never searched for.
  std::wstring command_line = L"\"" + program + L"\"";
  if (!parameters.empty()) command_line += L" " + parameters;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessAsUserW(token.get(), program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                              CREATE_UNICODE_ENVIRONMENT, environment.get(), working_dir.c_str(), &startup,
                              &started)) {
    throw base::OsError("CreateProcessAsUserW", ::GetLastError());
  }
  const base::UniqueHandle process(started.hProcess), thread(started.hThread);
  return session;
}

}  // namespace

StartPath StartForSignedInUser(const std::wstring& program, const std::wstring& parameters,
                               const std::wstring& working_dir) noexcept {
  const bool as_console_user = RunsAsLocalSystem();
  std::wstring reason;
  try {
    if (as_console_user) {
      const DWORD session = StartAsConsoleUser(program, parameters, working_dir);
      log::LogInfo(L"started as the user of console session " + std::to_wstring(session) + L", " + program);
      return StartPath::kConsoleUser;
    }
    const base::ScopedCoInitialize apartment;
    StartThroughDesktopShell(program, parameters, working_dir);
    log::LogInfo(L"started through the desktop shell, " + program);
    return StartPath::kDesktopShell;
  } catch (const std::exception& e) {
    reason = base::WideFromUtf8(e.what());
  } catch (...) {
    reason = L"unknown failure";
  }
  // Never this process's own token instead: it is an administrator's, or
  // the system's.
  log::LogWarn((as_console_user ? L"no token of the console's user, " : L"desktop shell not reached, ") + reason +
               L", not started, " + program);
  return StartPath::kNotStarted;
}

}  // namespace orvek::system
