#include "system/signed_in_user_start.h"

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <exception>
#include <string_view>

#include "base/automation_values.h"
#include "base/com_apartment.h"
#include "base/com_ptr.h"
#include "base/os_error.h"
#include "base/unicode.h"
#include "log/logs.h"

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

}  // namespace

StartPath StartForSignedInUser(HWND owner, const std::wstring& program, const std::wstring& parameters,
                               const std::wstring& working_dir) noexcept {
  std::wstring reason;
  try {
    const base::ScopedCoInitialize apartment;
    StartThroughDesktopShell(program, parameters, working_dir);
    log::LogInfo(L"started through the desktop shell, " + program);
    return StartPath::kDesktopShell;
  } catch (const std::exception& e) {
    reason = base::WideFromUtf8(e.what());
  } catch (...) {
    reason = L"unknown failure";
  }
  ::ShellExecuteW(owner, L"open", program.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                  working_dir.c_str(), SW_SHOWNORMAL);
  log::LogWarn(L"desktop shell not reached, " + reason + L", started directly, " + program);
  return StartPath::kDirect;
}

}  // namespace orvek::system
