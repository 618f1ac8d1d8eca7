// Producing an installer file from the linked installer executable, a package
// version and a 7z archive (layout in payload/installer_file_layout.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace orvek::tools {

struct PackRequest {
  std::filesystem::path exe;      // as the post-link layout step left it
  std::string version;            // e.g. "v6.15.1"
  std::filesystem::path archive;  // the payload, a 7z archive
  std::filesystem::path output;
};

struct PackResult {
  std::int32_t payload_offset = 0;
  std::uint64_t size = 0;
  std::uint32_t checksum = 0;
};

// Writes `output`: the executable with the payload offset (end of its last
// section's raw data) at 128 and the version at 132, the archive appended at
// that offset and zero-padded to a multiple of 8 (where a signature's
// certificate table must start), and the PE checksum of the complete file. Sign the result
// afterwards, never before. Throws ToolError with a one-line reason when an
// input is refused or a write fails; `output` is then left as it was.
PackResult PackInstaller(const PackRequest& request);

// The checks on the executable alone; returns the payload offset it would
// get. Throws ToolError naming what is wrong.
std::int32_t PayloadOffsetFor(std::span<const std::uint8_t> exe);

// The checks on the first bytes of an archive of `size` bytes: the 7z
// signature, an intact start header, and a file long enough for the header
// it announces. Throws ToolError.
void Check7zArchive(std::span<const std::uint8_t> head, std::uint64_t size);

}  // namespace orvek::tools
