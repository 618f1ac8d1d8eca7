// Reading and rewriting the headers of a PE image held in memory, for the
// build tools that lay out, pack and check the installer executable. Only the
// parts those tools touch are modelled; everything else is left byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvek::payload {

// A file that is not a PE image, or one whose layout a tool refuses to change.
class PeFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kSubsystemWindowsGui = 2;

// Indexes into the optional header's data directories.
inline constexpr std::size_t kImportDirectory = 1;
inline constexpr std::size_t kResourceDirectory = 2;
inline constexpr std::size_t kSecurityDirectory = 4;
inline constexpr std::size_t kDelayImportDirectory = 13;

struct PeDataDirectory {
  // An RVA, except for the security directory, where it is a file offset.
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

struct PeSection {
  std::string name;  // as stored: up to 8 bytes, "/123" names the string table
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_offset = 0;
  std::uint32_t raw_size = 0;
};

struct PeHeaders {
  std::uint32_t pe_offset = 0;  // e_lfanew: where "PE\0\0" starts
  std::uint16_t machine = 0;
  std::uint32_t symbol_table_offset = 0;
  std::uint32_t symbol_count = 0;
  std::uint16_t optional_header_size = 0;
  bool pe32_plus = false;
  std::uint64_t image_base = 0;
  std::uint16_t subsystem = 0;
  std::uint32_t file_alignment = 0;
  std::uint32_t size_of_headers = 0;
  std::uint32_t checksum = 0;
  std::vector<PeDataDirectory> directories;
  std::vector<PeSection> sections;

  std::size_t checksum_position() const noexcept { return pe_offset + 24 + 64; }
  // File position of data directory `index` (which must exist).
  std::size_t directory_position(std::size_t index) const noexcept {
    return pe_offset + 24 + (pe32_plus ? 112 : 96) + 8 * index;
  }
  // End of the section table: everything from pe_offset up to here moves
  // together when the headers are relocated.
  std::size_t headers_end() const noexcept {
    return pe_offset + 24 + optional_header_size + 40 * sections.size();
  }
  // End of the last section's raw data, or SizeOfHeaders for an image
  // without raw data. An unsigned, unpacked image ends exactly here.
  std::uint64_t raw_data_end() const noexcept;
  // The entry, or an empty one when the image has fewer directories.
  PeDataDirectory directory(std::size_t index) const noexcept;
  // File position of `rva`, when it lies in the headers or in a section's raw
  // data; nothing for uninitialised data and addresses outside the image.
  std::optional<std::size_t> RvaToOffset(std::uint32_t rva) const noexcept;
};

// Parses the headers of the complete file `file`. Throws PeFormatError naming
// the first inconsistency (no "MZ", truncated headers, a section whose raw
// data runs past the end of the file, ...).
PeHeaders ParsePeHeaders(std::span<const std::uint8_t> file);

// The PE checksum (the algorithm of the optional header's CheckSum field):
// the 16-bit little-endian words of the whole file summed with end-around
// carry, the four CheckSum bytes counting as zero and an odd last byte as the
// low byte of a word, then the file length added. Fed in consecutive pieces,
// so a file that never sits in memory as a whole can be summed while written.
class PeChecksum {
 public:
  explicit PeChecksum(std::uint64_t checksum_position) noexcept
      : checksum_position_(checksum_position) {}
  void Update(std::span<const std::uint8_t> bytes) noexcept;
  std::uint32_t Finish() const noexcept;

 private:
  std::uint64_t checksum_position_;
  std::uint64_t length_ = 0;
  std::uint64_t sum_ = 0;
};

std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> file);

// Stores ComputePeChecksum(file) into the CheckSum field.
void StorePeChecksum(std::span<std::uint8_t> file);

// Moves the PE signature, COFF header, optional header and section table to
// `new_offset` (8-aligned, at least 64) and points e_lfanew there; header
// bytes the move leaves behind become zero. Refuses with PeFormatError when
// the headers would not end within SizeOfHeaders and before the first
// section's raw data, when bytes they would cover are not zero, or when a
// data directory points into the header area.
void RelocatePeHeaders(std::vector<std::uint8_t>& file, std::uint32_t new_offset);

// Removes a COFF symbol and string table that follows the last section's raw
// data and clears the COFF header's pointer and count. Returns the number of
// bytes removed (0 when there is no table). Refuses when a section is named
// through the string table (an image with debug sections: link with -s) or
// when other bytes follow the image.
std::size_t StripCoffSymbols(std::vector<std::uint8_t>& file);

}  // namespace orvek::payload
