// A stand-in installer for the Wine tests: laid out and packed like the
// product, it reads its own file the way the installer does.
//
// usage: installer_probe REPORT PAYLOAD_COPY
//   writes "offset=<payload offset>\nversion=<package version>\n" (UTF-8) to
//   REPORT and the bytes from the payload offset to the end of its own file
//   to PAYLOAD_COPY. Exit status 0, 2 on bad usage, 3 when the offset is not
//   above zero, 4 when a file cannot be written.
#include <windows.h>

#include <string>
#include <vector>

#include "base/unicode.h"
#include "base/unique_handle.h"
#include "payload/installer_file.h"
#include "system/processes/module_path.h"

namespace {

using orvek::base::MakeUniqueHandle;
using orvek::base::UniqueHandle;

bool WriteAll(HANDLE file, const char* data, DWORD size) {
  DWORD written = 0;
  return ::WriteFile(file, data, size, &written, nullptr) && written == size;
}

UniqueHandle CreateOutput(const wchar_t* path) {
  return MakeUniqueHandle(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool CopyTail(const std::wstring& from, std::int32_t offset, const wchar_t* to) {
  const UniqueHandle in = MakeUniqueHandle(::CreateFileW(from.c_str(), GENERIC_READ,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  const UniqueHandle out = CreateOutput(to);
  LARGE_INTEGER position{};
  position.QuadPart = offset;
  if (!in || !out || !::SetFilePointerEx(in.get(), position, nullptr, FILE_BEGIN)) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
    if (got == 0) return true;
    if (!WriteAll(out.get(), buffer.data(), got)) return false;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring self = orvek::system::GetModulePath();
  const std::int32_t offset = orvek::payload::GetPayloadOffset(self);
  const std::wstring version =
      orvek::payload::PackageVersionText(orvek::payload::ReadPackageVersion(self));

  const std::string report =
      "offset=" + std::to_string(offset) + "\nversion=" + orvek::base::Utf8FromWide(version) + "\n";
  const UniqueHandle file = CreateOutput(argv[1]);
  if (!file || !WriteAll(file.get(), report.data(), static_cast<DWORD>(report.size()))) return 4;
  if (offset <= 0) return 3;
  return CopyTail(self, offset, argv[2]) ? 0 : 4;
}
