#include "system/registration/installation_registration.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <exception>
#include <optional>

#include "log/logs.h"
#include "base/text.h"
#include "base/unicode.h"
#include "base/com_apartment.h"
#include "base/com_ptr.h"
#include "system/files/directories.h"
#include "base/os_error.h"
#include "system/files/removal_rules.h"
#include "system/files/tree_size.h"
#include "system/registration/registration_names.h"
#include "system/registration/registration_removal.h"
#include "system/registration/shortcut_folders.h"
#include "system/registry.h"

namespace orvek::system {
namespace {

using base::ComPtr;

ComPtr<IShellLinkW> MakeLink(const std::wstring& target, const wchar_t* description) {
  ComPtr<IShellLinkW> link;
  const HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShellLinkW, reinterpret_cast<void**>(link.put()));
  if (FAILED(hr)) throw base::OsError("CoCreateInstance(ShellLink)", static_cast<DWORD>(hr));
  // Their results are not looked at: a link that cannot be written shows up
  // as a missing shortcut, which the installation survives.
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(DirectoryPart(target).c_str());
  link->SetDescription(description);
  return link;
}

void SaveLink(const ComPtr<IShellLinkW>& link, const std::wstring& file) {
  ComPtr<IPersistFile> persist;
  const HRESULT hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()));
  if (FAILED(hr)) throw base::OsError("QueryInterface(IPersistFile)", static_cast<DWORD>(hr));
  persist->Save(file.c_str(), FALSE);
}

void MakeShortcuts(const ShortcutFolders& folders, const std::wstring& dir,
                   const RegistrationRequest& request, const ComPtr<IShellLinkW>& client,
                   const ComPtr<IShellLinkW>& uninstall) {
  // Without the user's folders no shortcut is touched, the drive root's
  // included; the uninstall entry is still written.
  if (!folders.opened()) {
    log::LogWarn(L"Shell Folders key cannot be opened, no shortcut touched");
    return;
  }
  // An existing shortcut always goes before a new one is saved in its place,
  // so switching an option off removes what an earlier run left.
  const std::wstring link_name = std::wstring(kShortcutName) + L".lnk";

  if (const std::wstring desktop = folders.Checked(ShortcutFolder::kDesktop, L"desktop shortcut skipped");
      !desktop.empty()) {
    const std::wstring path = desktop + L"\\" + link_name;
    DeleteFileIfPresent(path);
    if (request.add_desktop) SaveLink(client, path);
  }

  if (const std::wstring drive = DrivePart(dir + L"\\uninstall.exe"); !drive.empty()) {
    const std::wstring path = drive + L"\\" + link_name;
    DeleteFileIfPresent(path);
    SaveLink(client, path);
  }

  const std::wstring programs = folders.Checked(ShortcutFolder::kPrograms, L"start-menu shortcuts skipped");
  if (programs.empty()) return;
  DeleteFileIfPresent(programs + L"\\" + link_name);
  const std::wstring menu = programs + L"\\Orvek";
  CreateDirectories(menu);
  // Anything below Programs is the user's too: a link put in the folder's
  // place would have the shortcuts deleted and written wherever it points.
  if (IsLink(menu)) {
    log::LogWarn(L"start-menu folder is a link, start-menu shortcuts skipped, " + menu);
    return;
  }
  const std::wstring client_path = menu + L"\\" + link_name;
  const std::wstring uninstall_path = menu + L"\\卸载" + link_name;
  DeleteFileIfPresent(client_path);
  DeleteFileIfPresent(uninstall_path);
  if (request.add_start_menu) {
    SaveLink(client, client_path);
    SaveLink(uninstall, uninstall_path);
  }
}

// False when the key cannot be opened.
bool WriteUninstallEntry(const std::wstring& dir, const RegistrationRequest& request) {
  std::optional<RegistryKey> entry = RegistryKey::Create(RegistrationRoot(request.scope), kRegistrationKey);
  if (!entry) return false;
  entry->WriteString(L"UninstallString", dir + L"\\uninstall.exe");
  entry->WriteString(L"DisplayName", kShortcutName);
  entry->WriteString(L"DisplayIcon", dir + L"\\orvekclient.exe");
  entry->WriteString(L"Publisher", L"Orvek教育科技股份有限公司");
  entry->WriteString(L"UrlInfoAbout", request.publisher_url);
  entry->WriteString(L"DisplayVersion", DisplayVersion(request.version));
  entry->WriteString(L"InstallLocation", dir);
  entry->WriteDword(L"EstimatedSize", EstimatedSizeKiB(TreeBytes(dir)));
  entry->WriteDword(L"NoModify", 1);
  entry->WriteDword(L"NoRepair", 1);
  return true;
}

}  // namespace

std::wstring DisplayVersion(std::wstring_view version) {
  version = base::Trim(version);
  if (!version.empty() && (version[0] == L'v' || version[0] == L'V')) version.remove_prefix(1);
  return std::wstring(version);
}

void RegisterInstallation(const RegistrationRequest& request) {
  try {
    const std::wstring dir(base::Trim(request.directory));
    const base::ScopedCoInitialize apartment;
    const ComPtr<IShellLinkW> client = MakeLink(dir + L"\\orvekclient.exe", kShortcutName);
    const ComPtr<IShellLinkW> uninstall =
        MakeLink(dir + L"\\uninstall.exe", L"Orvek教师客户端卸载程序");
    MakeShortcuts(ShortcutFolders(request.scope), dir, request, client, uninstall);
    if (WriteUninstallEntry(dir, request) && request.replaces_other_scope) {
      RemoveRegistration(OtherScope(request.scope));
    }
  } catch (const std::exception& e) {
    log::LogError(L"create desktop link error, " + base::WideFromUtf8(e.what()));
  }
}

}  // namespace orvek::system
