// The two fields an installer file carries in its DOS-stub area, as one codec
// shared by the packing tool (writer) and the installer (reader).
//
//   offset  size  content
//   ------  ----  ----------------------------------------------------------
//        0    64  DOS header "MZ"; e_lfanew at 60 holds 256
//       64     -  the linker's DOS stub, ending before 128 (GNU ld's ends
//                 at 121), then zero
//      128     4  payload offset, signed 32-bit little-endian, > 0
//      132    11  package version, ASCII, zero-filled; no terminator when
//                 all 11 bytes are text
//      143   113  zero, never read
//      256     -  "PE\0\0", COFF header, optional header, section table
//        -     -  section raw data, ending at the end of the last section
//   payload    -  7z archive: 37 7A BC AF 27 1C, version 0 4, start header;
//    offset       the packing tool pads it with zeros to a multiple of 8
//        -     -  certificate table, when signed (located by the security
//                 data directory, 8-aligned, runs to the end of the file)
//
//   128         132                                143
//   +-----------+----------------------------------+
//   |00 00 50 00|76 36 2E 31 35 2E 31 00 00 00 00  |  5,242,880 and "v6.15.1"
//   +-----------+----------------------------------+
//
// Nothing records the archive's length: the reader takes everything from the
// payload offset to the end of the file, certificate table included, so the
// archive reader must accept trailing bytes. The CheckSum of the optional
// header covers the complete file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvek::payload {

inline constexpr std::size_t kPayloadOffsetPosition = 128;
inline constexpr std::size_t kPayloadOffsetSize = 4;
inline constexpr std::size_t kVersionPosition = 132;
inline constexpr std::size_t kVersionSize = 11;
// First byte after the fields; the PE header must start at or after it.
inline constexpr std::size_t kFieldsEnd = kVersionPosition + kVersionSize;
// Where the post-link step puts the PE header of the installer executable.
inline constexpr std::uint32_t kInstallerPeHeaderPosition = 256;

inline constexpr std::array<std::uint8_t, 6> k7zSignature = {0x37, 0x7A, 0xBC,
                                                             0xAF, 0x27, 0x1C};

class InstallerLayoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// 00 00 50 00 => 5242880, FF FF FF FF => -1.
std::int32_t DecodePayloadOffset(std::span<const std::uint8_t, kPayloadOffsetSize> bytes) noexcept;
std::array<std::uint8_t, kPayloadOffsetSize> EncodePayloadOffset(std::int32_t offset) noexcept;

// Why the packing tool must not store `text` as the package version, or an
// empty string when it may. Accepted: 1 to 11 characters, each 0x21..0x7E.
// Blanks are refused everywhere: the reader trims them at both ends, and a
// version is sent to the version service and shown to the user as it is.
// "v6.15.1" => "", "" => "the version is empty", "v6 beta" => "...blank...".
std::string VersionTextProblem(std::string_view text);

// "v6.15.1" => 'v' '6' '.' '1' '5' '.' '1' 00 00 00 00.
// Throws InstallerLayoutError with VersionTextProblem's text when refused.
std::array<std::uint8_t, kVersionSize> EncodeVersionField(std::string_view text);

// The fields as a reader sees them in the first kFieldsEnd (or more) bytes of
// an installer file. `version_field` is always exactly 11 raw bytes, zero
// bytes included, as the installer's ReadPackageVersion returns them.
struct InstallerFields {
  std::int32_t payload_offset = 0;
  std::string version_field;
};

// Throws InstallerLayoutError when `head` is shorter than kFieldsEnd.
InstallerFields ReadInstallerFields(std::span<const std::uint8_t> head);

// Stores both fields into `head` (at least kFieldsEnd bytes, else throws
// InstallerLayoutError); the version as EncodeVersionField does.
void WriteInstallerFields(std::span<std::uint8_t> head, std::int32_t payload_offset,
                          std::string_view version);

// Converts 8-bit text of the system's ANSI code page to UTF-16; on Windows
// MultiByteToWideChar(CP_ACP), in host tests any fixed code page.
using AnsiDecoder = std::wstring (*)(std::string_view);

// The version shown and sent by the installer: the 11 raw bytes decoded with
// `decode` and trimmed of blanks and controls at both ends (base::Trim).
std::wstring PackageVersionFromField(std::string_view field, AnsiDecoder decode);

}  // namespace orvek::payload
