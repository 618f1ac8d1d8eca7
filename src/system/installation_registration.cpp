#include "system/installation_registration.h"

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
#include "system/directories.h"
#include "base/os_error.h"
#include "system/registry.h"
#include "system/removal_rules.h"

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

// An existing shortcut always goes before a new one is saved in its place,
// so switching an option off removes what an earlier run left.
void DeleteIfPresent(const std::wstring& file) {
  if (FileExists(file)) ::DeleteFileW(file.c_str());
}

// The user's shell folder `name`, or empty (with one line saying the
// shortcuts `skipped` are skipped). Any program of the user can change the
// value while the shortcuts are written with administrator rights: only an
// absolute value (a drive path, or a share path for redirected folders, as
// schools use) is used, with "." and ".." resolved, never one taken relative
// to the current directory (the folder the installer was started from) and
// never a device path. A value that is not text ends the shortcut work (the failure line
// of RegisterInstallation); a key that cannot be opened reads as empty.
std::wstring ShellFolder(const std::optional<RegistryKey>& folders, const std::wstring& name,
                         const std::wstring& skipped) {
  const std::wstring value =
      folders ? folders->ReadString(name, NonStringValue::kThrow) : std::wstring();
  if (value.empty()) {
    // Joined as it is, it would put the shortcut at the current drive's root.
    log::LogWarn(name + L" folder unknown, " + skipped);
    return {};
  }
  const std::wstring full = IsAbsoluteLocation(value) ? FullPath(value) : std::wstring();
  if (!IsAbsoluteLocation(full)) {
    log::LogWarn(name + L" folder refused, " + skipped + L", " + value);
    return {};
  }
  return full;
}

bool IsLink(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void MakeShortcuts(const std::optional<RegistryKey>& folders, const std::wstring& dir,
                   const RegistrationRequest& request, const ComPtr<IShellLinkW>& client,
                   const ComPtr<IShellLinkW>& uninstall) {
  // Without the user's folders no shortcut is touched, the drive root's
  // included; the uninstall entry is still written.
  if (!folders) {
    log::LogWarn(L"Shell Folders key cannot be opened, no shortcut touched");
    return;
  }
  const std::wstring link_name = std::wstring(kShortcutName) + L".lnk";

  if (const std::wstring desktop = ShellFolder(folders, L"Desktop", L"desktop shortcut skipped");
      !desktop.empty()) {
    const std::wstring path = desktop + L"\\" + link_name;
    DeleteIfPresent(path);
    if (request.add_desktop) SaveLink(client, path);
  }

  if (const std::wstring drive = DrivePart(dir + L"\\uninstall.exe"); !drive.empty()) {
    const std::wstring path = drive + L"\\" + link_name;
    DeleteIfPresent(path);
    SaveLink(client, path);
  }

  const std::wstring programs = ShellFolder(folders, L"Programs", L"start-menu shortcuts skipped");
  if (programs.empty()) return;
  DeleteIfPresent(programs + L"\\" + link_name);
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
  DeleteIfPresent(client_path);
  DeleteIfPresent(uninstall_path);
  if (request.add_start_menu) {
    SaveLink(client, client_path);
    SaveLink(uninstall, uninstall_path);
  }
}

void WriteUninstallEntry(const std::wstring& dir, const std::wstring& publisher_url) {
  std::optional<RegistryKey> entry = RegistryKey::Create(HKEY_CURRENT_USER, kRegistrationKey);
  if (!entry) return;
  entry->WriteString(L"UninstallString", dir + L"\\uninstall.exe");
  entry->WriteString(L"DisplayName", kShortcutName);
  entry->WriteString(L"DisplayIcon", dir + L"\\orvekclient.exe");
  entry->WriteString(L"Publisher", L"Orvek教育科技股份有限公司");
  entry->WriteString(L"UrlInfoAbout", publisher_url);
}

}  // namespace

void RegisterInstallation(const RegistrationRequest& request) {
  try {
    const std::wstring dir(base::Trim(request.directory));
    const base::ScopedCoInitialize apartment;
    const ComPtr<IShellLinkW> client = MakeLink(dir + L"\\orvekclient.exe", kShortcutName);
    const ComPtr<IShellLinkW> uninstall =
        MakeLink(dir + L"\\uninstall.exe", L"Orvek教师客户端卸载程序");
    MakeShortcuts(RegistryKey::Open(HKEY_CURRENT_USER, kShellFoldersKey, RegistryAccess::kRead), dir,
                  request, client, uninstall);
    WriteUninstallEntry(dir, request.publisher_url);
  } catch (const std::exception& e) {
    log::LogError(L"create desktop link error, " + base::WideFromUtf8(e.what()));
  }
}

}  // namespace orvek::system
