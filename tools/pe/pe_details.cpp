#include "pe/pe_details.h"

#include <cstring>

#include "base/hex.h"
#include "payload/byte_order.h"

namespace orvek::tools {
namespace {

using payload::LoadLe16;
using payload::LoadLe32;
using payload::LoadLe64;
using payload::PeFormatError;
using payload::PeHeaders;

constexpr std::uint32_t kRtManifest = 24;
constexpr std::uint32_t kProcessManifestId = 1;

// Bounds-checked access to the image by RVA.
class ImageView {
 public:
  ImageView(std::span<const std::uint8_t> file, const PeHeaders& headers)
      : file_(file), headers_(headers) {}

  const std::uint8_t* At(std::uint32_t rva, std::size_t size) const {
    const auto offset = headers_.RvaToOffset(rva);
    if (!offset || *offset + size > file_.size()) {
      throw PeFormatError("RVA 0x" + base::Hex(rva) + " lies outside the image's raw data");
    }
    return &file_[*offset];
  }

  std::string CString(std::uint32_t rva) const {
    const auto offset = headers_.RvaToOffset(rva);
    if (!offset || *offset >= file_.size()) {
      throw PeFormatError("string at RVA 0x" + base::Hex(rva) + " lies outside the image");
    }
    const char* begin = reinterpret_cast<const char*>(&file_[*offset]);
    const std::size_t length = strnlen(begin, file_.size() - *offset);
    if (*offset + length == file_.size()) throw PeFormatError("unterminated string in the image");
    return std::string(begin, length);
  }

  std::uint32_t Rva(std::uint64_t address, bool relative) const {
    return static_cast<std::uint32_t>(relative ? address : address - headers_.image_base);
  }

 private:
  std::span<const std::uint8_t> file_;
  const PeHeaders& headers_;
};

std::vector<std::string> ReadThunks(const ImageView& image, const PeHeaders& headers,
                                    std::uint32_t rva, bool relative) {
  std::vector<std::string> functions;
  const std::size_t width = headers.pe32_plus ? 8 : 4;
  const std::uint64_t ordinal_flag = headers.pe32_plus ? (1ull << 63) : (1ull << 31);
  for (;; rva += static_cast<std::uint32_t>(width)) {
    const std::uint8_t* p = image.At(rva, width);
    const std::uint64_t thunk = headers.pe32_plus ? LoadLe64(p) : LoadLe32(p);
    if (thunk == 0) break;
    if (thunk & ordinal_flag) {
      std::string ordinal = "#";
      ordinal += std::to_string(thunk & 0xFFFF);
      functions.push_back(std::move(ordinal));
    } else {
      // IMAGE_IMPORT_BY_NAME: a 16-bit hint, then the name.
      functions.push_back(image.CString(image.Rva(thunk, relative) + 2));
    }
  }
  return functions;
}

void ListOrdinaryImports(const ImageView& image, const PeHeaders& headers,
                         std::vector<ImportedDll>& dlls) {
  const payload::PeDataDirectory dir = headers.directory(payload::kImportDirectory);
  if (dir.size == 0) return;
  for (std::uint32_t rva = dir.address;; rva += 20) {
    const std::uint8_t* d = image.At(rva, 20);
    const std::uint32_t lookup = LoadLe32(d), name = LoadLe32(d + 12), iat = LoadLe32(d + 16);
    if (lookup == 0 && name == 0 && iat == 0) break;
    dlls.push_back({image.CString(name), ReadThunks(image, headers, lookup ? lookup : iat, true), false});
  }
}

void ListDelayImports(const ImageView& image, const PeHeaders& headers,
                      std::vector<ImportedDll>& dlls) {
  const payload::PeDataDirectory dir = headers.directory(payload::kDelayImportDirectory);
  if (dir.size == 0) return;
  for (std::uint32_t rva = dir.address;; rva += 32) {
    const std::uint8_t* d = image.At(rva, 32);
    const bool relative = (LoadLe32(d) & 1) != 0;
    const std::uint32_t name = LoadLe32(d + 4), names = LoadLe32(d + 16);
    if (name == 0) break;
    dlls.push_back({image.CString(image.Rva(name, relative)),
                    ReadThunks(image, headers, image.Rva(names, relative), relative), true});
  }
}

// One level of the resource tree: the entry whose id is `id` (or the first
// entry when `id` is empty). Returns the raw OffsetToData word, 0 if absent.
std::uint32_t FindResourceEntry(const ImageView& image, std::uint32_t root, std::uint32_t directory,
                                std::optional<std::uint32_t> id) {
  const std::uint8_t* dir = image.At(root + directory, 16);
  const unsigned count = LoadLe16(dir + 12) + LoadLe16(dir + 14);
  for (unsigned i = 0; i < count; ++i) {
    const std::uint8_t* entry = image.At(root + directory + 16 + 8 * i, 8);
    const std::uint32_t name = LoadLe32(entry);
    if (!id || ((name & 0x80000000) == 0 && name == *id)) return LoadLe32(entry + 4);
  }
  return 0;
}

}  // namespace

std::vector<ImportedDll> ListImports(std::span<const std::uint8_t> file, const PeHeaders& headers) {
  const ImageView image(file, headers);
  std::vector<ImportedDll> dlls;
  ListOrdinaryImports(image, headers, dlls);
  ListDelayImports(image, headers, dlls);
  return dlls;
}

std::optional<std::string> FindProcessManifest(std::span<const std::uint8_t> file,
                                               const PeHeaders& headers) {
  const payload::PeDataDirectory dir = headers.directory(payload::kResourceDirectory);
  if (dir.size == 0) return std::nullopt;
  const ImageView image(file, headers);
  const std::uint32_t root = dir.address;
  constexpr std::uint32_t kSubdirectory = 0x80000000;

  const std::uint32_t type = FindResourceEntry(image, root, 0, kRtManifest);
  if (!(type & kSubdirectory)) return std::nullopt;
  const std::uint32_t name = FindResourceEntry(image, root, type & ~kSubdirectory, kProcessManifestId);
  if (!(name & kSubdirectory)) return std::nullopt;
  const std::uint32_t language = FindResourceEntry(image, root, name & ~kSubdirectory, std::nullopt);
  if (language == 0 || (language & kSubdirectory)) return std::nullopt;

  const std::uint8_t* data = image.At(root + language, 16);
  const std::uint32_t rva = LoadLe32(data), size = LoadLe32(data + 4);
  const std::uint8_t* bytes = image.At(rva, size);
  return std::string(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace orvek::tools
