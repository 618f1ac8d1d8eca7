#include "payload/installer_file.h"

#include <windows.h>

#include "base/code_page.h"
#include "base/os_error.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/logs.h"
#include "payload/installer_file_layout.h"

namespace orvek::payload {
namespace {

std::string ReadAt(const std::wstring& file_name, std::uint32_t position, DWORD count) {
  base::UniqueHandle file = base::MakeUniqueHandle(
      ::CreateFileW(file_name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw base::OsError("CreateFileW", ::GetLastError());

  LARGE_INTEGER distance{};
  distance.QuadPart = position;
  if (!::SetFilePointerEx(file.get(), distance, nullptr, FILE_BEGIN)) {
    throw base::OsError("SetFilePointerEx", ::GetLastError());
  }
  std::string bytes(count, '\0');
  DWORD done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, count - done, &got, nullptr)) {
      throw base::OsError("ReadFile", ::GetLastError());
    }
    // A file that ends inside the field has no such field; zeros would pass
    // for a real value.
    if (got == 0) throw base::OsError("ReadFile", ERROR_HANDLE_EOF);
    done += got;
  }
  return bytes;
}

}  // namespace

std::int32_t GetPayloadOffset(const std::wstring& file_name) noexcept {
  try {
    const std::string field = ReadAt(file_name, kPayloadOffsetPosition, kPayloadOffsetSize);
    return DecodePayloadOffset(
        std::span<const std::uint8_t, kPayloadOffsetSize>(
            reinterpret_cast<const std::uint8_t*>(field.data()), kPayloadOffsetSize));
  } catch (const std::exception& e) {
    log::LogError(L"get zipfile postion failed, " + base::WideFromUtf8(e.what()));
  }
  return 0;
}

std::string ReadPackageVersion(const std::wstring& file_name) {
  return ReadAt(file_name, kVersionPosition, kVersionSize);
}

std::wstring PackageVersionText(std::string_view field) {
  return PackageVersionFromField(field, base::WideFromAnsi);
}

}  // namespace orvek::payload
