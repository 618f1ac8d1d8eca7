#include "support/wine_links.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "base/unicode.h"
#include "support/child_process.h"
#include "base/unique_handle.h"

namespace orvek::test {
namespace {

using UnixFileName = char*(CDECL*)(const wchar_t*);

// Runs a Linux tool (e.g. "ln") with `args` until `done` holds. Wine starts
// a Linux program without a process handle to wait on, so the effect is
// what the caller waits for.
template <class Done>
void RunTool(const wchar_t* tool, const std::vector<std::string>& args, Done done) {
  std::wstring line = tool;
  for (const std::string& a : args) line += L" " + QuoteArgument(base::WideFromUtf8(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const std::wstring exe = std::wstring(L"Z:\\bin\\") + tool;
  ASSERT_TRUE(::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi))
      << ::GetLastError();
  if (pi.hThread) ::CloseHandle(pi.hThread);
  if (pi.hProcess) ::CloseHandle(pi.hProcess);
  for (int i = 0; i < 2000 && !done(); ++i) ::Sleep(5);
  ASSERT_TRUE(done()) << base::Utf8FromWide(line);
}

// Where the prefix keeps its drive letters and shares (a Linux path).
std::string DosDevices() {
  wchar_t prefix[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
  return base::Utf8FromWide(prefix) + "/dosdevices/";
}

// A Linux path as Windows programs reach it, through Z:.
std::wstring SeenFromWindows(const std::string& unix_path) {
  std::wstring path = L"Z:" + base::WideFromUtf8(unix_path);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

}  // namespace

bool RunsUnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string UnixPath(const std::wstring& windows_path) {
  static const auto convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return {};
  char* unix_path = convert(windows_path.c_str());
  if (!unix_path) return {};
  std::string result(unix_path);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}

void MakeSymbolicLink(const std::wstring& link, const std::wstring& target) {
  // Wine shows a link to a directory as one (0x410), a link to a file as a
  // plain file.
  const bool to_directory = (::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
  RunTool(L"ln", {"-s", UnixPath(target), UnixPath(link)}, [&] {
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (!to_directory || (attributes & FILE_ATTRIBUTE_REPARSE_POINT));
  });
}

void MakeHardLink(const std::wstring& link, const std::wstring& target) {
  RunTool(L"ln", {UnixPath(target), UnixPath(link)}, [&] { return Exists(link); });
}

void RemoveLink(const std::wstring& link) {
  RunTool(L"rm", {"-f", UnixPath(link)}, [&] { return !Exists(link); });
}

TestTree::TestTree() {
  static int counter = 0;
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  root_ = std::wstring(temp) + L"tree-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(counter++);
  if (Exists(root_)) RunTool(L"rm", {"-rf", UnixPath(root_)}, [&] { return !Exists(root_); });
  ::CreateDirectoryW(root_.c_str(), nullptr);
}

TestTree::~TestTree() {
  RunTool(L"rm", {"-rf", UnixPath(root_)}, [&] { return !Exists(root_); });
}

std::wstring TestTree::operator()(const std::wstring& relative) const {
  return relative.empty() ? root_ : root_ + L"\\" + relative;
}

void WriteText(const std::wstring& path, const std::string& text) {
  const base::UniqueHandle file = base::MakeUniqueHandle(::CreateFileW(
      path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.valid()) << base::Utf8FromWide(path);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                          nullptr));
}

std::string ReadText(const std::wstring& path) {
  const base::UniqueHandle file = base::MakeUniqueHandle(::CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<missing>";
  std::string text(65536, '\0');
  DWORD read = 0;
  ::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
  text.resize(read);
  return text;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ScopedDrive::ScopedDrive(wchar_t letter, const std::wstring& directory) {
  device_ = DosDevices() + static_cast<char>(letter | 0x20) + ":";
  drive_ = std::wstring(1, letter) + L":\\";
  RunTool(L"ln", {"-sfn", UnixPath(directory), device_}, [&] { return Exists(drive_); });
}

ScopedDrive::~ScopedDrive() {
  RunTool(L"rm", {"-f", device_}, [&] { return !Exists(drive_); });
  // Wine keeps its table of drives for a second and finds a path's drive by
  // the identity of its folders: a folder made later with the inode number
  // of the removed drive root would still be taken for "Q:\".
  ::Sleep(1100);
}

ScopedServer::ScopedServer(const std::wstring& server, const std::wstring& directory)
    : link_(DosDevices() + "unc/" + base::Utf8FromWide(server)) {
  const std::string servers = DosDevices() + "unc";
  RunTool(L"mkdir", {"-p", servers}, [&] { return Exists(SeenFromWindows(servers)); });
  RunTool(L"ln", {"-sfn", UnixPath(directory), link_}, [&] { return Exists(SeenFromWindows(link_)); });
}

ScopedServer::~ScopedServer() {
  RunTool(L"rm", {"-f", link_}, [&] { return !Exists(SeenFromWindows(link_)); });
}

}  // namespace orvek::test
