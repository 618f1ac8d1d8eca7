#include "system/files/handle_operations.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

#include "base/text.h"
#include "system/files/nt_file_api.h"
#include "system/files/removal_rules.h"

namespace orvek::system {
namespace {

// The native form of a full path: "\??\C:\a" or "\??\UNC\srv\s\a".
std::wstring NativePath(const std::wstring& path) {
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') return L"\\??\\UNC\\" + path.substr(2);
  return L"\\??\\" + path;
}

bool SetAttributes(HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return false;
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

DWORD MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
             ? 0
             : ::GetLastError();
}

}  // namespace

base::UniqueHandle OpenEntryItself(const std::wstring& path, DWORD access, DWORD share) {
  return base::MakeUniqueHandle(::CreateFileW(path.c_str(), access | SYNCHRONIZE, share, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                              nullptr));
}

namespace {

// A name for ntdll's calls: relative to `parent`, or a native full path.
class NativeName {
 public:
  NativeName(HANDLE parent, const std::wstring& name) : text_(parent ? name : NativePath(name)) {
    unicode_.Buffer = const_cast<wchar_t*>(text_.c_str());
    unicode_.Length = unicode_.MaximumLength = static_cast<USHORT>(text_.size() * sizeof(wchar_t));
    InitializeObjectAttributes(&attributes_, &unicode_, OBJ_CASE_INSENSITIVE, parent, nullptr);
  }
  OBJECT_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::wstring text_;
  UNICODE_STRING unicode_{};
  OBJECT_ATTRIBUTES attributes_{};
};

base::UniqueHandle HandleOf(const NtFileApi& nt, NTSTATUS result, HANDLE handle, DWORD* error) {
  if (result < 0) {
    *error = nt.RtlNtStatusToDosError(result);
    return {};
  }
  *error = 0;
  return base::MakeUniqueHandle(handle);
}

}  // namespace

base::UniqueHandle OpenChild(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD* error,
                             DWORD share) {
  const NtFileApi& nt = NtFile();
  NativeName native(parent, name);
  IO_STATUS_BLOCK status{};
  HANDLE child = nullptr;
  const NTSTATUS result =
      nt.NtOpenFile(&child, access | SYNCHRONIZE, native.attributes(), &status, share,
                    FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT);
  return HandleOf(nt, result, child, error);
}

base::UniqueHandle CreateDirectoryOpen(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD* error) {
  const NtFileApi& nt = NtFile();
  NativeName native(parent, name);
  IO_STATUS_BLOCK status{};
  HANDLE created = nullptr;
  const NTSTATUS result = nt.NtCreateFile(
      &created, access | SYNCHRONIZE, native.attributes(), &status, nullptr, FILE_ATTRIBUTE_NORMAL,
      FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
      FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  return HandleOf(nt, result, created, error);
}

std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return OrdinaryFromFinalPath(path);
    }
    path.assign(n, L'\0');
  }
}

std::wstring FileIdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return {};
  wchar_t text[32] = {};
  std::swprintf(text, std::size(text), L"%08lX-%08lX%08lX", static_cast<unsigned long>(info.dwVolumeSerialNumber),
                static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
  return text;
}

std::vector<ListedEntry> ListEntries(HANDLE directory) {
  std::vector<ListedEntry> entries;
  std::vector<std::int64_t> buffer(8192);  // 64 KiB, aligned for the records
  const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(buffer[0]));
  FILE_INFO_BY_HANDLE_CLASS info_class = FileIdBothDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(directory, info_class, buffer.data(), size)) {
    info_class = FileIdBothDirectoryInfo;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        entries.push_back({std::move(name), record->FileAttributes, record->FileId.QuadPart});
      }
      if (record->NextEntryOffset == 0) break;
      bytes += record->NextEntryOffset;
    }
  }
  return entries;
}

Opened IdentifyOpened(HANDLE handle, const ListedEntry& listed, const std::wstring& expected_final_path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return Opened::kOther;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Opened::kLink;
  const std::int64_t id = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                                                    info.nFileIndexLow);
  if (listed.id != 0 && id != listed.id) return Opened::kOther;
  // Listed as a link but opened as something else: the open followed it.
  if (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Opened::kOther;
  // A link to a file that Wine lists as a plain file with its target's
  // identifier: only the final path names the target.
  if (!expected_final_path.empty()) {
    const std::wstring reported = FinalPathOf(handle);
    if (!reported.empty() && !base::SameText(reported, expected_final_path)) return Opened::kOther;
  }
  return Opened::kListed;
}

bool IsDirectoryAt(HANDLE handle, const std::wstring& final_path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  const std::wstring reported = FinalPathOf(handle);
  return !reported.empty() && base::SameText(reported, final_path);
}

bool IsEntryAt(HANDLE handle, const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L'\\');
  if (cut == std::wstring::npos) return false;
  // "R:\" for an entry at a drive's root: the drive itself, not the
  // current folder on it.
  const std::wstring folder_path = path.substr(0, cut == 2 ? 3 : cut);
  // Links along the folder's path count: only the last step is in question.
  const base::UniqueHandle folder = base::MakeUniqueHandle(
      ::CreateFileW(folder_path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::wstring expected = folder ? FinalPathOf(folder.get()) : L"";
  if (expected.empty()) return false;
  if (expected.back() != L'\\') expected += L'\\';
  const std::wstring reported = FinalPathOf(handle);
  return !reported.empty() && base::SameText(reported, expected + path.substr(cut + 1));
}

DWORD DeleteThroughHandle(HANDLE handle, bool even_read_only) {
  const DWORD error = MarkForDeletion(handle);
  if (error != ERROR_ACCESS_DENIED || !even_read_only) return error;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
    return error;
  }
  if (!SetAttributes(handle, info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY)) return error;
  const DWORD retried = MarkForDeletion(handle);
  if (retried != 0) SetAttributes(handle, info.dwFileAttributes);
  return retried;
}

bool MarkReadOnly(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(handle, &info) &&
         SetAttributes(handle, (info.dwFileAttributes & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_READONLY);
}

DWORD RenameThroughHandle(HANDLE handle, const std::wstring& new_path) {
  // The full native path: Wine 8 takes a bare name from the current
  // directory, not from the entry's own folder, and refuses a name relative
  // to a directory handle.
  const std::wstring target = NativePath(new_path);
  const std::size_t name_bytes = target.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::copy(target.begin(), target.end(), info->FileName);
  return ::SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(buffer.size()))
             ? 0
             : ::GetLastError();
}

}  // namespace orvek::system
