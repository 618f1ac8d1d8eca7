#include "pe/installer_image.h"

#include <algorithm>

#include "common/tool_files.h"
#include "payload/installer_file_layout.h"
#include "payload/pe_image.h"

namespace orvek::tools {

using namespace orvek::payload;

InstallerImageChanges PrepareInstallerImage(std::vector<std::uint8_t>& file) {
  InstallerImageChanges changes;
  try {
    PeHeaders h = ParsePeHeaders(file);
    if (h.directory(kSecurityDirectory).size != 0) {
      throw ToolError("it is signed; lay out the unsigned executable");
    }
    changes.symbol_bytes_removed = StripCoffSymbols(file);
    h = ParsePeHeaders(file);
    if (file.size() != h.raw_data_end()) {
      throw ToolError(std::to_string(file.size() - h.raw_data_end()) +
                      " bytes follow the last section; the installer file appends its archive there");
    }
    if (h.pe_offset != kInstallerPeHeaderPosition) {
      RelocatePeHeaders(file, kInstallerPeHeaderPosition);
      changes.headers_moved = true;
    }
    if (!std::all_of(file.begin() + kPayloadOffsetPosition, file.begin() + kInstallerPeHeaderPosition,
                     [](std::uint8_t b) { return b == 0; })) {
      throw ToolError("offsets 128..255 are not zero: the DOS stub reaches past 128");
    }
    StorePeChecksum(file);
  } catch (const PeFormatError& e) {
    throw ToolError(e.what());
  }
  return changes;
}

}  // namespace orvek::tools
