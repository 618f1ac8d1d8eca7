#include "support/log_tail.h"

#include <windows.h>

#include "base/unicode.h"
#include "base/unique_handle.h"
#include "system/files/temp_directory.h"

namespace orvek::test {
namespace {

std::wstring LogFilePath() {
  return system::GetTempDirectory() + L"orvek\\teacher-install.log";
}

// The log keeps its file open for writing, so read with write sharing.
base::UniqueHandle OpenLog() {
  return base::MakeUniqueHandle(::CreateFileW(LogFilePath().c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::uint64_t FileLength(HANDLE file) {
  LARGE_INTEGER size{};
  return ::GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

}  // namespace

LogTail::LogTail() {
  const base::UniqueHandle file = OpenLog();
  if (file) start_ = FileLength(file.get());
}

std::string LogTail::Appended() const {
  const base::UniqueHandle file = OpenLog();
  if (!file) return std::string();
  const std::uint64_t end = FileLength(file.get());
  if (end <= start_) return std::string();
  LARGE_INTEGER offset{};
  offset.QuadPart = static_cast<LONGLONG>(start_);
  ::SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN);
  std::string bytes(static_cast<size_t>(end - start_), '\0');
  DWORD read = 0;
  ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}

bool Has(const std::string& log, std::wstring_view text) {
  return log.find(base::Utf8FromWide(text)) != std::string::npos;
}

bool HasLine(const std::string& log, std::wstring_view line) {
  const std::string text = base::Utf8FromWide(line);
  const std::size_t at = log.find(text);
  return at != std::string::npos &&
         (at + text.size() == log.size() || log[at + text.size()] == '\r' ||
          log[at + text.size()] == '\n');
}

}  // namespace orvek::test
