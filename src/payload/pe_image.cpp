#include "payload/pe_image.h"

#include <algorithm>
#include <cstring>

#include "base/hex.h"
#include "payload/byte_order.h"

namespace orvek::payload {
namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kLfanewPosition = 60;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSymbolSize = 18;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;

void Require(bool condition, const std::string& problem) {
  if (!condition) throw PeFormatError(problem);
}

}  // namespace

std::uint64_t PeHeaders::raw_data_end() const noexcept {
  std::uint64_t end = size_of_headers;
  for (const PeSection& s : sections) {
    if (s.raw_size != 0) end = std::max<std::uint64_t>(end, std::uint64_t{s.raw_offset} + s.raw_size);
  }
  return end;
}

PeDataDirectory PeHeaders::directory(std::size_t index) const noexcept {
  return index < directories.size() ? directories[index] : PeDataDirectory{};
}

std::optional<std::size_t> PeHeaders::RvaToOffset(std::uint32_t rva) const noexcept {
  if (rva < size_of_headers) return rva;
  for (const PeSection& s : sections) {
    if (rva >= s.virtual_address && rva - s.virtual_address < s.raw_size &&
        rva - s.virtual_address < std::max(s.virtual_size, s.raw_size)) {
      return std::size_t{s.raw_offset} + (rva - s.virtual_address);
    }
  }
  return std::nullopt;
}

PeHeaders ParsePeHeaders(std::span<const std::uint8_t> file) {
  Require(file.size() >= kDosHeaderSize && file[0] == 'M' && file[1] == 'Z',
          "not a PE image: no MZ header");
  PeHeaders h;
  h.pe_offset = LoadLe32(&file[kLfanewPosition]);
  Require(h.pe_offset >= kDosHeaderSize && std::uint64_t{h.pe_offset} + 4 + kCoffHeaderSize <= file.size(),
          "not a PE image: e_lfanew 0x" + base::Hex(h.pe_offset) + " is outside the file");
  const std::uint8_t* pe = &file[h.pe_offset];
  Require(std::memcmp(pe, "PE\0\0", 4) == 0, "not a PE image: no PE signature at 0x" + base::Hex(h.pe_offset));

  const std::uint8_t* coff = pe + 4;
  h.machine = LoadLe16(coff);
  const std::uint16_t section_count = LoadLe16(coff + 2);
  h.symbol_table_offset = LoadLe32(coff + 8);
  h.symbol_count = LoadLe32(coff + 12);
  h.optional_header_size = LoadLe16(coff + 16);

  const std::size_t optional = h.pe_offset + 4 + kCoffHeaderSize;
  const std::size_t table = optional + h.optional_header_size;
  Require(table + kSectionHeaderSize * section_count <= file.size(),
          "truncated PE headers: the section table runs past the end of the file");
  Require(h.optional_header_size >= 2, "PE image without an optional header");
  const std::uint8_t* opt = &file[optional];
  const std::uint16_t magic = LoadLe16(opt);
  Require(magic == kPe32Magic || magic == kPe32PlusMagic,
          "unknown optional header magic 0x" + base::Hex(magic));
  h.pe32_plus = magic == kPe32PlusMagic;
  const std::size_t directories_at = h.pe32_plus ? 112 : 96;
  Require(h.optional_header_size >= directories_at, "optional header too short");
  h.image_base = h.pe32_plus ? LoadLe64(opt + 24) : LoadLe32(opt + 28);
  h.file_alignment = LoadLe32(opt + 36);
  h.size_of_headers = LoadLe32(opt + 60);
  h.checksum = LoadLe32(opt + 64);
  h.subsystem = LoadLe16(opt + 68);
  const std::uint32_t directory_count = LoadLe32(opt + directories_at - 4);
  Require(directory_count <= 16 && directories_at + 8 * directory_count <= h.optional_header_size,
          "optional header too short for its " + std::to_string(directory_count) + " data directories");
  for (std::uint32_t i = 0; i < directory_count; ++i) {
    const std::uint8_t* d = opt + directories_at + 8 * i;
    h.directories.push_back({LoadLe32(d), LoadLe32(d + 4)});
  }

  for (std::uint16_t i = 0; i < section_count; ++i) {
    const std::uint8_t* s = &file[table + kSectionHeaderSize * i];
    PeSection section;
    section.name.assign(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8));
    section.virtual_size = LoadLe32(s + 8);
    section.virtual_address = LoadLe32(s + 12);
    section.raw_size = LoadLe32(s + 16);
    section.raw_offset = LoadLe32(s + 20);
    Require(section.raw_size == 0 || std::uint64_t{section.raw_offset} + section.raw_size <= file.size(),
            "section " + section.name + " has raw data past the end of the file");
    h.sections.push_back(std::move(section));
  }
  return h;
}

void PeChecksum::Update(std::span<const std::uint8_t> bytes) noexcept {
  // Summing bytes with their word-lane weight and folding once at the end is
  // the same ones'-complement sum as folding after every word.
  for (const std::uint8_t byte : bytes) {
    const bool in_field = length_ >= checksum_position_ && length_ < checksum_position_ + 4;
    if (!in_field) sum_ += std::uint64_t{byte} << ((length_ & 1) * 8);
    ++length_;
  }
}

std::uint32_t PeChecksum::Finish() const noexcept {
  std::uint64_t sum = sum_;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + length_);
}

std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> file) {
  PeChecksum checksum(ParsePeHeaders(file).checksum_position());
  checksum.Update(file);
  return checksum.Finish();
}

void StorePeChecksum(std::span<std::uint8_t> file) {
  const std::uint32_t value = ComputePeChecksum(file);
  StoreLe32(&file[ParsePeHeaders(file).checksum_position()], value);
}

void RelocatePeHeaders(std::vector<std::uint8_t>& file, std::uint32_t new_offset) {
  const PeHeaders h = ParsePeHeaders(file);
  Require(new_offset >= kDosHeaderSize && new_offset % 8 == 0,
          "cannot place PE headers at " + std::to_string(new_offset));
  if (new_offset == h.pe_offset) return;

  const std::size_t size = h.headers_end() - h.pe_offset;
  std::uint64_t limit = h.size_of_headers;
  for (const PeSection& s : h.sections) {
    if (s.raw_size != 0) limit = std::min<std::uint64_t>(limit, s.raw_offset);
  }
  Require(limit <= file.size(), "SizeOfHeaders runs past the end of the file");
  Require(new_offset + size <= limit,
          "PE headers of " + std::to_string(size) + " bytes do not fit between " +
              std::to_string(new_offset) + " and the end of the header area at " +
              std::to_string(limit));
  for (std::size_t i = 0; i < h.directories.size(); ++i) {
    const PeDataDirectory d = h.directories[i];
    // The security entry holds a file offset that always lies past the image.
    Require(i == kSecurityDirectory || d.size == 0 || d.address >= h.size_of_headers,
            "data directory " + std::to_string(i) + " points into the header area");
  }
  const std::size_t old_begin = h.pe_offset, old_end = h.headers_end();
  const std::size_t new_begin = new_offset, new_end = new_offset + size;
  for (std::size_t i = new_begin; i < new_end; ++i) {
    Require((i >= old_begin && i < old_end) || file[i] == 0,
            "the bytes at " + std::to_string(i) + " that the moved headers would cover are not zero");
  }

  std::memmove(&file[new_begin], &file[old_begin], size);
  for (std::size_t i = old_begin; i < old_end; ++i) {
    if (i < new_begin || i >= new_end) file[i] = 0;
  }
  StoreLe32(&file[kLfanewPosition], new_offset);
}

std::size_t StripCoffSymbols(std::vector<std::uint8_t>& file) {
  const PeHeaders h = ParsePeHeaders(file);
  const std::uint64_t image_end = h.raw_data_end();
  if (h.symbol_table_offset == 0 && h.symbol_count == 0) return 0;

  for (const PeSection& s : h.sections) {
    Require(s.name.empty() || s.name[0] != '/',
            "section " + s.name + " is named through the COFF string table (debug sections?); "
            "link with -s");
  }
  const std::uint64_t strings = h.symbol_table_offset + std::uint64_t{kSymbolSize} * h.symbol_count;
  Require(h.symbol_table_offset == image_end && strings + 4 <= file.size(),
          "the COFF symbol table does not directly follow the image");
  const std::uint64_t table_end = strings + LoadLe32(&file[strings]);
  Require(table_end == file.size(),
          "other bytes follow the COFF symbol table (" + std::to_string(file.size() - table_end) + ")");

  const std::size_t removed = file.size() - image_end;
  file.resize(image_end);
  std::uint8_t* coff = &file[h.pe_offset + 4];
  StoreLe32(coff + 8, 0);
  StoreLe32(coff + 12, 0);
  return removed;
}

}  // namespace orvek::payload
