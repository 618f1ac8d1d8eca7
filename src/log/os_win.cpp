// The product's system services: files with the log's sharing rules through
// CreateFileW, the ANSI code page, the temporary directory, local time.
#include <windows.h>

#include <string>

#include "base/code_page.h"
#include "base/system_message.h"
#include "base/text.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/file_appender.h"
#include "log/os.h"

namespace orvek::log {
namespace {

using base::MakeUniqueHandle;
using base::UniqueHandle;

UniqueHandle OpenHandle(const std::wstring& path, DWORD access, DWORD sharing, DWORD disposition,
                        DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return MakeUniqueHandle(::CreateFileW(path.c_str(), access, sharing, nullptr, disposition, flags, nullptr));
}

[[noreturn]] void ThrowFileError(const char* what, const std::wstring& path, DWORD error) {
  throw FacilityError(std::string(what) + " \"" + base::Utf8FromWide(path) + "\". " +
                      base::SystemMessageUtf8(error));
}

class WinFileStream : public TFileStream {
 public:
  explicit WinFileStream(UniqueHandle file) : FFile(std::move(file)) {}

  bool Write(std::string_view bytes) override {
    DWORD written = 0;
    return ::WriteFile(FFile.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }

  std::int64_t Position() override {
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(FFile.get(), LARGE_INTEGER{}, &position, FILE_CURRENT)) return -1;
    return position.QuadPart;
  }

 private:
  UniqueHandle FFile;
};

bool IsLinkByName(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Where the handle really leads; empty when the system cannot tell.
std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
  }
  path.resize(length < path.size() ? length : 0);
  return path;
}

[[noreturn]] void ThrowLink(const char* what, const std::wstring& path) {
  throw FacilityError(std::string(what) + " \"" + base::Utf8FromWide(path) + "\" is a link; no log is written");
}

// Final paths of one folder, whether it is a root or not: a root's carries
// its separator ("\\?\C:\"), the folder part of a file's does not.
bool SameFolder(std::wstring a, std::wstring b) {
  while (!a.empty() && a.back() == L'\\') a.pop_back();
  while (!b.empty() && b.back() == L'\\') b.pop_back();
  return base::SameText(a, b);
}

// The elevated installer writes its log in the user's temporary folder,
// where the user may put a junction in place of the log's folder, or a
// symbolic or hard link in place of the file, to aim the writes at a system
// file. Neither is followed. The folder is held, not shareable for delete, so
// it cannot be swapped while the file is opened as what it is rather than
// what it points to. Windows shows a link on the handle; Wine follows links
// whatever the flags say, but shows a directory link in the attributes of
// its name and a file link in the handle's final path.
UniqueHandle OpenWithoutLinks(const std::wstring& path) {
  std::wstring dir = ExtractFileDir(path);
  if (dir.empty()) dir = L".";
  if (IsLinkByName(dir)) ThrowLink("The folder", dir);
  UniqueHandle folder = MakeUniqueHandle(::CreateFileW(
      dir.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) ThrowFileError("Cannot open folder", dir, ::GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(folder.get(), &info)) ThrowFileError("Cannot open folder", dir, ::GetLastError());
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) ThrowLink("The folder", dir);

  if (IsLinkByName(path)) ThrowLink("The file", path);
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  // A new file only once no other is there, so that one that fails the
  // checks below can be removed again without touching anybody's file.
  bool created = false;
  UniqueHandle file = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, flags);
  if (!file && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    file = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, flags);
    created = file.valid();
  }
  if (!file) ThrowFileError("Cannot open file", path, ::GetLastError());
  try {
    if (!::GetFileInformationByHandle(file.get(), &info)) ThrowFileError("Cannot open file", path, ::GetLastError());
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks > 1) {
      ThrowLink("The file", path);
    }
    const std::wstring folder_path = FinalPath(folder.get());
    const std::wstring file_path = FinalPath(file.get());
    if (!folder_path.empty() && !file_path.empty() && !SameFolder(ExtractFileDir(file_path), folder_path)) {
      ThrowLink("The file", path);
    }
  } catch (const FacilityError&) {
    if (created) {
      // Unlinks what is at the name, never what a link there leads to.
      file.reset();
      ::DeleteFileW(path.c_str());
    }
    throw;
  }
  return file;
}

class WinPlatform : public Platform {
 public:
  bool FileExists(const std::wstring& path) override {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool ForceDirectories(const std::wstring& dir) override {
    // Before trimming: "C:\\" is the root, "C:" the current folder on C:.
    if (dir.empty() || DirectoryExists(dir)) return true;
    std::wstring trimmed = dir;
    while (!trimmed.empty() && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
    if (trimmed.empty()) return true;
    const std::wstring parent = ExtractFileDir(trimmed);
    if (parent != trimmed && !parent.empty() && !ForceDirectories(parent)) return false;
    return ::CreateDirectoryW(trimmed.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
  }

  std::unique_ptr<TFileStream> OpenForAppend(const std::wstring& path) override {
    UniqueHandle file = OpenWithoutLinks(path);
    if (!::SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END)) {
      ThrowFileError("Cannot seek in file", path, ::GetLastError());
    }
    return std::make_unique<WinFileStream>(std::move(file));
  }

  std::unique_ptr<TFileStream> CreateEmpty(const std::wstring& path) override {
    // Truncated only once the sharing check has passed and the file has
    // proved to be no link.
    UniqueHandle file = OpenWithoutLinks(path);
    if (!::SetEndOfFile(file.get())) ThrowFileError("Cannot create file", path, ::GetLastError());
    return std::make_unique<WinFileStream>(std::move(file));
  }

  bool RemoveFile(const std::wstring& path) override { return ::DeleteFileW(path.c_str()) != 0; }

  bool RenameFile(const std::wstring& from, const std::wstring& to) override {
    return ::MoveFileW(from.c_str(), to.c_str()) != 0;
  }

  std::string ReadWholeFile(const std::wstring& path, std::size_t max_bytes) override {
    UniqueHandle file = OpenHandle(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (!file) ThrowFileError("Cannot open file", path, ::GetLastError());
    std::string bytes;
    char buffer[4096];
    for (;;) {
      DWORD read = 0;
      if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
        ThrowFileError("Cannot read file", path, ::GetLastError());
      }
      if (read == 0) return bytes;
      bytes.append(buffer, read);
      if (bytes.size() > max_bytes) {
        bytes.resize(max_bytes + 1);
        return bytes;
      }
    }
  }

  std::wstring ProgramDirectory() override {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length < path.size()) {
        path.resize(length);
        return ExtractFileDir(path);
      }
      path.resize(path.size() * 2);
    }
  }

  std::wstring AnsiToWide(std::string_view bytes) override { return base::WideFromAnsi(bytes); }
  std::string WideToAnsi(std::wstring_view text) override { return base::AnsiFromWide(text); }

 private:
  static bool DirectoryExists(const std::wstring& dir) {
    const DWORD attributes = ::GetFileAttributesW(dir.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
};

}  // namespace

Platform& SystemPlatform() {
  // Never destroyed: threads that still log while the process ends use it.
  static Platform* const platform = new WinPlatform;
  return *platform;
}

std::wstring TempDirectory() {
  std::wstring path(MAX_PATH + 1, L'\0');
  DWORD length = ::GetTempPathW(static_cast<DWORD>(path.size()), path.data());
  if (length > path.size()) {
    path.resize(length);
    length = ::GetTempPathW(static_cast<DWORD>(path.size()), path.data());
  }
  path.resize(length < path.size() ? length : 0);
  return path;
}

std::wstring CurrentDirectory() {
  std::wstring path(::GetCurrentDirectoryW(0, nullptr), L'\0');
  path.resize(::GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data()));
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

LocalTime LocalNow() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace orvek::log
