// The installer reading its own file: the payload offset and the package
// version stored in the DOS-stub area (layout in installer_file_layout.h).
// Each call opens the file on its own, lets others read and write it
// meanwhile (the process is running from it) and closes it before returning.
// Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvek::payload {

// The signed 32-bit payload offset at file offset 128 of `file_name`. When
// the file cannot be opened, positioned or read, logs "get zipfile postion
// failed, " and the failure's message as an error and returns 0. Only a
// result above zero is a usable offset. Never throws.
std::int32_t GetPayloadOffset(const std::wstring& file_name) noexcept;

// The 11 raw bytes at file offset 132 of `file_name`, zero bytes included;
// always exactly 11. Throws base::OsError when the file cannot be opened,
// positioned or read that far.
std::string ReadPackageVersion(const std::wstring& file_name);

// The package version as the installer keeps it: the raw field decoded from
// the system's ANSI code page and trimmed of everything at or below U+0020
// at both ends.
std::wstring PackageVersionText(std::string_view field);

}  // namespace orvek::payload
