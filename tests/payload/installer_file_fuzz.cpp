// A damaged or cut installer file: the fields the installer reads from its
// own file, and the PE headers the tools read. Parsed headers never point
// past the file, and a mapped address lies inside its section's raw data.
#include <cstdint>
#include <span>

#include "payload/installer_file_layout.h"
#include "payload/pe_image.h"

using namespace orvek::payload;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  try {
    const InstallerFields fields = ReadInstallerFields(file);
    PackageVersionFromField(fields.version_field, [](std::string_view b) { return std::wstring(b.begin(), b.end()); });
  } catch (const InstallerLayoutError&) {
  }
  try {
    const PeHeaders h = ParsePeHeaders(file);
    if (h.headers_end() > size || (h.raw_data_end() > size && h.raw_data_end() != h.size_of_headers)) __builtin_trap();
    for (const PeDataDirectory& d : h.directories) {
      const auto offset = h.RvaToOffset(d.address);
      if (offset && *offset >= size && d.address >= h.size_of_headers) __builtin_trap();
    }
    ComputePeChecksum(file);
  } catch (const PeFormatError&) {
  }
  return 0;
}
