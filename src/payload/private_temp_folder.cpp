#include "payload/private_temp_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <string_view>
#include <vector>

#include "base/hex.h"
#include "base/system_message.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "payload/seven_zip_reader.h"
#include "system/files/temp_directory.h"

namespace orvek::payload {
namespace {

// Protected (no inherited entries): full access for SYSTEM and the built-in
// Administrators, inherited by the files created inside.
constexpr wchar_t kFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

constexpr wchar_t kPrefix[] = L"orvek-";

}  // namespace

PrivateTempFolder::PrivateTempFolder() {
  base::UniqueLocalMemory descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
    throw SevenZipError(base::SystemMessageUtf8(::GetLastError()));
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};

  static std::atomic<unsigned> counter{0};
  const std::wstring temp = system::GetTempDirectory();
  for (int attempt = 0;; ++attempt) {
    const unsigned long long unique =
        (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64() ^
        (static_cast<unsigned long long>(counter++) << 48);
    std::wstring candidate =
        temp + kPrefix + base::WideFromUtf8(base::Hex(unique, 1, base::HexCase::kLower));
    if (::CreateDirectoryW(candidate.c_str(), &attributes)) {
      path_ = std::move(candidate);
      return;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS || attempt >= 100) throw SevenZipError(base::SystemMessageUtf8(error));
  }
}

PrivateTempFolder::~PrivateTempFolder() {
  WIN32_FIND_DATAW found{};
  base::UniqueFindHandle search =
      base::MakeUniqueFindHandle(::FindFirstFileW((path_ + L"\\*").c_str(), &found));
  if (search) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring file = path_ + L"\\" + found.cFileName;
      ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::DeleteFileW(file.c_str())) log::LogError(L"delete tmp file error, " + file);
    } while (::FindNextFileW(search.get(), &found));
  }
  search.reset();
  if (!::RemoveDirectoryW(path_.c_str())) log::LogError(L"delete tmp file error, " + path_);
}

namespace {

// "orvek-" and what Hex makes: 1 to 16 lower-case hexadecimal digits.
bool IsPrivateTempFolderName(std::wstring_view name) {
  const std::wstring_view prefix(kPrefix);
  if (name.substr(0, prefix.size()) != prefix) return false;
  const std::wstring_view digits = name.substr(prefix.size());
  if (digits.empty() || digits.size() > 16) return false;
  for (const wchar_t c : digits) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}

// The folder's DACL in SDDL form; empty when it cannot be read.
std::wstring DaclText(HANDLE folder) {
  PACL dacl = nullptr;
  base::UniqueLocalMemory descriptor;
  if (::GetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        descriptor.put()) != ERROR_SUCCESS) {
    return {};
  }
  base::UniqueLocalMemory text;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.get(), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION,
                                                              reinterpret_cast<LPWSTR*>(text.put()), nullptr)) {
    return {};
  }
  return std::wstring(static_cast<const wchar_t*>(text.get()));
}

base::UniqueHandle OpenFolderItself(const std::wstring& path) {
  // Not shareable for delete: while it is held, nobody can rename it and put
  // a link in its place.
  return base::MakeUniqueHandle(::CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Whether the file system keeps the permissions a folder is created with.
// Wine keeps them only where the host stores extended attributes and else
// reports a made-up, unprotected default for every folder.
bool PlatformKeepsFolderSecurity() {
  PrivateTempFolder probe;
  base::UniqueHandle folder = OpenFolderItself(probe.path());
  return folder && DaclText(folder.get()) == kFolderSddl;
}

bool IsRealDirectory(HANDLE folder) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(folder, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

void RemoveStaleFolder(const std::wstring& path, bool check_security) {
  {
    base::UniqueHandle folder = OpenFolderItself(path);
    if (!folder || !IsRealDirectory(folder.get())) return;
    if (check_security && DaclText(folder.get()) != kFolderSddl) return;
    WIN32_FIND_DATAW found{};
    base::UniqueFindHandle search =
        base::MakeUniqueFindHandle(::FindFirstFileW((path + L"\\*").c_str(), &found));
    if (search) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        // A folder or a folder link inside is not ours: the whole folder stays.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
        // A file link is removed as a link; its target is never touched.
        const std::wstring file = path + L"\\" + name;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
          ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        ::DeleteFileW(file.c_str());
      } while (::FindNextFileW(search.get(), &found));
    }
  }
  // Removes a link, should one have been put there since, not its target.
  if (::RemoveDirectoryW(path.c_str())) log::LogInfo(L"removed stale tmp folder, " + path);
}

}  // namespace

void RemoveStalePrivateTempFolders() noexcept {
  try {
    const std::wstring temp = system::GetTempDirectory();
    std::vector<std::wstring> stale;
    WIN32_FIND_DATAW found{};
    base::UniqueFindHandle search =
        base::MakeUniqueFindHandle(::FindFirstFileW((temp + kPrefix + L"*").c_str(), &found));
    if (!search) return;
    do {
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
          IsPrivateTempFolderName(found.cFileName)) {
        stale.push_back(temp + found.cFileName);
      }
    } while (::FindNextFileW(search.get(), &found));
    search.reset();
    if (stale.empty()) return;
    const bool check_security = PlatformKeepsFolderSecurity();
    for (const std::wstring& path : stale) RemoveStaleFolder(path, check_security);
  } catch (const std::exception& e) {
    log::LogError(L"remove stale tmp folders error, " + base::WideFromUtf8(e.what()));
  } catch (...) {
  }
}

}  // namespace orvek::payload
