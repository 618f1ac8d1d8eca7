#include "payload/private_temp_folder.h"

#include <windows.h>
#include <sddl.h>

#include <atomic>

#include "log/logs.h"
#include "payload/seven_zip_reader.h"
#include "system/temp_directory.h"
#include "system/unique_handle.h"

namespace orvek::payload {
namespace {

// Protected (no inherited entries): full access for SYSTEM and the built-in
// Administrators, inherited by the files created inside.
constexpr wchar_t kFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

class LocalMemory {
 public:
  ~LocalMemory() {
    if (p_) ::LocalFree(p_);
  }
  PSECURITY_DESCRIPTOR* put() noexcept { return &p_; }
  PSECURITY_DESCRIPTOR get() const noexcept { return p_; }

 private:
  PSECURITY_DESCRIPTOR p_ = nullptr;
};

std::wstring Hex(unsigned long long value) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return text;
}

}  // namespace

PrivateTempFolder::PrivateTempFolder() {
  LocalMemory descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
    throw SevenZipError(SystemMessage(::GetLastError()));
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};

  static std::atomic<unsigned> counter{0};
  const std::wstring temp = system::GetTempDirectory();
  for (int attempt = 0;; ++attempt) {
    const unsigned long long unique =
        (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64() ^
        (static_cast<unsigned long long>(counter++) << 48);
    std::wstring candidate = temp + L"orvek-" + Hex(unique);
    if (::CreateDirectoryW(candidate.c_str(), &attributes)) {
      path_ = std::move(candidate);
      return;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS || attempt >= 100) throw SevenZipError(SystemMessage(error));
  }
}

PrivateTempFolder::~PrivateTempFolder() {
  WIN32_FIND_DATAW found{};
  system::UniqueFindHandle search =
      system::MakeUniqueFindHandle(::FindFirstFileW((path_ + L"\\*").c_str(), &found));
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
