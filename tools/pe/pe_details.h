// What the static checks look at inside a PE image: its imports and its
// embedded manifest.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "payload/pe_image.h"

namespace orvek::tools {

struct ImportedDll {
  std::string name;                    // as the image spells it, e.g. "KERNEL32.dll"
  std::vector<std::string> functions;  // names, or "#<ordinal>" for ordinal imports
  bool delayed = false;                // from the delay-load table
};

// Both the ordinary and the delay-load import tables, in table order. Throws
// payload::PeFormatError when a table points outside the image.
std::vector<ImportedDll> ListImports(std::span<const std::uint8_t> file,
                                     const payload::PeHeaders& headers);

// The RT_MANIFEST resource with id 1 (the process manifest) as raw bytes, or
// nothing when the image has none.
std::optional<std::string> FindProcessManifest(std::span<const std::uint8_t> file,
                                               const payload::PeHeaders& headers);

}  // namespace orvek::tools
