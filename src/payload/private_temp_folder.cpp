#include "payload/private_temp_folder.h"

#include <windows.h>
#include <sddl.h>

#include <atomic>

#include "base/hex.h"
#include "base/system_message.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "payload/seven_zip_reader.h"
#include "system/temp_directory.h"

namespace orvek::payload {
namespace {

// Protected (no inherited entries): full access for SYSTEM and the built-in
// Administrators, inherited by the files created inside.
constexpr wchar_t kFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

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
        temp + L"orvek-" + base::WideFromUtf8(base::Hex(unique, 1, base::HexCase::kLower));
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

}  // namespace orvek::payload
