#include "payload/installer_file_layout.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "payload/byte_order.h"

namespace orvek::payload {

std::int32_t DecodePayloadOffset(std::span<const std::uint8_t, kPayloadOffsetSize> bytes) noexcept {
  return static_cast<std::int32_t>(LoadLe32(bytes.data()));
}

std::array<std::uint8_t, kPayloadOffsetSize> EncodePayloadOffset(std::int32_t offset) noexcept {
  std::array<std::uint8_t, kPayloadOffsetSize> bytes{};
  StoreLe32(bytes.data(), static_cast<std::uint32_t>(offset));
  return bytes;
}

std::string VersionTextProblem(std::string_view text) {
  if (text.empty()) return "the version is empty";
  if (text.size() > kVersionSize) {
    return "the version has " + std::to_string(text.size()) + " characters; at most " +
           std::to_string(kVersionSize) + " fit the field";
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x21 || c > 0x7E) {
      char what[16];
      if (c == 0x20) {
        std::snprintf(what, sizeof what, "a blank");
      } else {
        std::snprintf(what, sizeof what, "the byte 0x%02X", c);
      }
      return std::string("the version has ") + what + " at position " + std::to_string(i + 1) +
             "; only printable ASCII without blanks (0x21..0x7E) is stored";
    }
  }
  return {};
}

std::array<std::uint8_t, kVersionSize> EncodeVersionField(std::string_view text) {
  if (std::string problem = VersionTextProblem(text); !problem.empty()) {
    throw InstallerLayoutError(problem);
  }
  std::array<std::uint8_t, kVersionSize> field{};
  std::copy(text.begin(), text.end(), field.begin());
  return field;
}

InstallerFields ReadInstallerFields(std::span<const std::uint8_t> head) {
  if (head.size() < kFieldsEnd) {
    throw InstallerLayoutError("the file is shorter than the installer fields (" +
                               std::to_string(kFieldsEnd) + " bytes)");
  }
  InstallerFields fields;
  fields.payload_offset =
      DecodePayloadOffset(head.subspan<kPayloadOffsetPosition, kPayloadOffsetSize>());
  fields.version_field.assign(reinterpret_cast<const char*>(head.data() + kVersionPosition),
                              kVersionSize);
  return fields;
}

void WriteInstallerFields(std::span<std::uint8_t> head, std::int32_t payload_offset,
                          std::string_view version) {
  if (head.size() < kFieldsEnd) {
    throw InstallerLayoutError("the file is shorter than the installer fields (" +
                               std::to_string(kFieldsEnd) + " bytes)");
  }
  const auto version_field = EncodeVersionField(version);
  const auto offset_field = EncodePayloadOffset(payload_offset);
  std::copy(offset_field.begin(), offset_field.end(), head.begin() + kPayloadOffsetPosition);
  std::copy(version_field.begin(), version_field.end(), head.begin() + kVersionPosition);
}

std::wstring PackageVersionFromField(std::string_view field, AnsiDecoder decode) {
  return std::wstring(base::Trim(decode(field)));
}

}  // namespace orvek::payload
