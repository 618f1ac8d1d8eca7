#include "window_fixture.h"

#include <fstream>
#include <iterator>

#include "log/logs.h"

namespace orvek::test {

std::wstring LogFileTail::Path() {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  return std::wstring(temp) + L"orvek\\teacher-install.log";
}

long long LogFileTail::Size() {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Path().c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string LogFileTail::Appended() const {
  // The log holds the file open for writing; a shared read is allowed.
  const HANDLE file = ::CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string all;
  char buffer[8192];
  DWORD n = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) all.append(buffer, n);
  ::CloseHandle(file);
  return static_cast<long long>(all.size()) > start_ ? all.substr(static_cast<size_t>(start_)) : "";
}

void MainWindowTest::SetUpTestSuite() {
  orvek::log::ConfigureLog();
  if (!app::DM) app::DM = new app::TDM();
}

}  // namespace orvek::test
