#include "payload/installer_file.h"

#include <windows.h>

#include "log/logs.h"
#include "payload/installer_file_layout.h"
#include "system/os_error.h"
#include "system/unique_handle.h"

namespace orvek::payload {
namespace {

std::string ReadAt(const std::wstring& file_name, std::uint32_t position, DWORD count) {
  system::UniqueHandle file = system::MakeUniqueHandle(
      ::CreateFileW(file_name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw system::OsError("CreateFileW", ::GetLastError());

  LARGE_INTEGER distance{};
  distance.QuadPart = position;
  if (!::SetFilePointerEx(file.get(), distance, nullptr, FILE_BEGIN)) {
    throw system::OsError("SetFilePointerEx", ::GetLastError());
  }
  std::string bytes(count, '\0');
  DWORD done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, count - done, &got, nullptr)) {
      throw system::OsError("ReadFile", ::GetLastError());
    }
    // A file that ends inside the field has no such field; zeros would pass
    // for a real value.
    if (got == 0) throw system::OsError("ReadFile", ERROR_HANDLE_EOF);
    done += got;
  }
  return bytes;
}

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring DecodeAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
  return text;
}

}  // namespace

std::int32_t GetPayloadOffset(const std::wstring& file_name) noexcept {
  try {
    const std::string field = ReadAt(file_name, kPayloadOffsetPosition, kPayloadOffsetSize);
    return DecodePayloadOffset(
        std::span<const std::uint8_t, kPayloadOffsetSize>(
            reinterpret_cast<const std::uint8_t*>(field.data()), kPayloadOffsetSize));
  } catch (const std::exception& e) {
    log::LogError(L"get zipfile postion failed, " + Widen(e.what()));
  }
  return 0;
}

std::string ReadPackageVersion(const std::wstring& file_name) {
  return ReadAt(file_name, kVersionPosition, kVersionSize);
}

std::wstring PackageVersionText(std::string_view field) {
  return PackageVersionFromField(field, DecodeAnsi);
}

}  // namespace orvek::payload
