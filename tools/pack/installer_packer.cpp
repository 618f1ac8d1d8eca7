#include "pack/installer_packer.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <limits>
#include <vector>

#include "common/tool_files.h"
#include "payload/byte_order.h"
#include "payload/installer_file_layout.h"
#include "payload/pe_image.h"

namespace orvek::tools {
namespace {

namespace fs = std::filesystem;
using namespace orvek::payload;

constexpr std::size_t k7zStartHeaderSize = 32;
constexpr std::size_t kCopyChunk = 1 << 20;

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

}  // namespace

std::int32_t PayloadOffsetFor(std::span<const std::uint8_t> exe) {
  PeHeaders h;
  try {
    h = ParsePeHeaders(exe);
  } catch (const PeFormatError& e) {
    throw ToolError(e.what());
  }
  if (h.pe_offset < kFieldsEnd) {
    throw ToolError("the PE header at " + std::to_string(h.pe_offset) +
                    " overlaps the installer fields at 128..142; run the post-link layout "
                    "step (orvek-pe-layout) on it first");
  }
  if (!std::all_of(exe.begin() + kPayloadOffsetPosition, exe.begin() + kFieldsEnd,
                   [](std::uint8_t b) { return b == 0; })) {
    throw ToolError("offsets 128..142 are not zero: it already carries installer fields, "
                    "or its DOS stub reaches past 128");
  }
  if (const PeDataDirectory security = h.directory(kSecurityDirectory); security.size != 0) {
    throw ToolError("it is signed (certificate table of " + std::to_string(security.size) +
                    " bytes); pack the unsigned executable, then sign the installer");
  }
  const std::uint64_t end = h.raw_data_end();
  if (end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    throw ToolError("its image ends at " + std::to_string(end) +
                    ", beyond a signed 32-bit payload offset");
  }
  if (exe.size() != end) {
    throw ToolError(std::to_string(exe.size() - end) + " bytes follow the image (which ends at " +
                    std::to_string(end) +
                    "): it already carries an archive, a symbol table or other appended data");
  }
  return static_cast<std::int32_t>(end);
}

void Check7zArchive(std::span<const std::uint8_t> head, std::uint64_t size) {
  if (head.size() < k7zSignature.size() ||
      !std::equal(k7zSignature.begin(), k7zSignature.end(), head.begin())) {
    throw ToolError("not a 7z archive: it does not start with the 7z signature 37 7A BC AF 27 1C");
  }
  if (head.size() < k7zStartHeaderSize || LoadLe32(&head[8]) != Crc32(head.subspan(12, 20))) {
    throw ToolError("damaged 7z archive: its start header is incomplete or fails its CRC");
  }
  const std::uint64_t next_offset = LoadLe64(&head[12]);
  const std::uint64_t next_size = LoadLe64(&head[20]);
  const std::uint64_t announced = k7zStartHeaderSize + next_offset + next_size;
  if (next_offset > size || next_size > size || announced > size) {
    throw ToolError("truncated 7z archive: its header announces at least " +
                    std::to_string(announced) + " bytes, the file has " + std::to_string(size));
  }
}

PackResult PackInstaller(const PackRequest& request) {
  if (std::string problem = VersionTextProblem(request.version); !problem.empty()) {
    throw ToolError("version \"" + request.version + "\": " + problem);
  }

  std::vector<std::uint8_t> exe = ReadWholeFile(request.exe);
  std::int32_t payload_offset = 0;
  try {
    payload_offset = PayloadOffsetFor(exe);
  } catch (const ToolError& e) {
    throw ToolError(request.exe.string() + ": " + e.what());
  }

  std::error_code size_error;
  const std::uint64_t archive_size = fs::file_size(request.archive, size_error);
  if (size_error) {
    throw ToolError("cannot read " + request.archive.string() + ": " + size_error.message());
  }
  std::ifstream archive(request.archive, std::ios::binary);
  if (!archive) throw ToolError("cannot read " + request.archive.string());
  std::array<std::uint8_t, k7zStartHeaderSize> head{};
  archive.read(reinterpret_cast<char*>(head.data()), head.size());
  try {
    Check7zArchive(std::span(head.data(), static_cast<std::size_t>(archive.gcount())), archive_size);
  } catch (const ToolError& e) {
    throw ToolError(request.archive.string() + ": " + e.what());
  }
  archive.seekg(0);

  // A signature goes behind the archive at an 8-aligned offset; padding here
  // makes it start right at the end of the packed file instead of behind
  // bytes the signer adds.
  const std::uint64_t padding = (8 - (exe.size() + archive_size) % 8) % 8;
  const std::uint64_t total = exe.size() + archive_size + padding;
  if (total > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    throw ToolError("the installer would be " + std::to_string(total) +
                    " bytes; the installer reads itself with signed 32-bit offsets, so it must "
                    "stay below 2 GiB");
  }

  WriteInstallerFields(exe, payload_offset, request.version);
  const PeHeaders headers = ParsePeHeaders(exe);
  PeChecksum checksum(headers.checksum_position());
  AtomicFile out(request.output, FileMode(request.exe));
  checksum.Update(exe);
  out.Write(exe);

  std::vector<std::uint8_t> chunk(kCopyChunk);
  std::uint64_t copied = 0;
  while (copied < archive_size) {
    archive.read(reinterpret_cast<char*>(chunk.data()),
                 static_cast<std::streamsize>(std::min<std::uint64_t>(chunk.size(), archive_size - copied)));
    const auto got = static_cast<std::size_t>(archive.gcount());
    if (got == 0) throw ToolError("cannot read " + request.archive.string() + ": it shrank while packing");
    checksum.Update(std::span(chunk.data(), got));
    out.Write(std::span(chunk.data(), got));
    copied += got;
  }

  const std::array<std::uint8_t, 8> zeros{};
  checksum.Update(std::span(zeros.data(), padding));
  out.Write(std::span(zeros.data(), padding));

  PackResult result;
  result.payload_offset = payload_offset;
  result.size = total;
  result.checksum = checksum.Finish();
  std::array<std::uint8_t, 4> stored{};
  StoreLe32(stored.data(), result.checksum);
  out.WriteAt(headers.checksum_position(), stored);
  out.Commit();
  return result;
}

}  // namespace orvek::tools
