// The post-link step that makes room for the installer fields: the linker
// puts the PE header at 128, right where the payload offset goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvek::tools {

struct InstallerImageChanges {
  std::size_t symbol_bytes_removed = 0;
  bool headers_moved = false;
};

// Rewrites a linked executable in memory so that the packing tool accepts it:
// a COFF symbol table is dropped, the PE headers move to 256 (e_lfanew
// updated, offsets 128..255 zero, the DOS stub untouched), and the CheckSum
// is recomputed. Running it again changes nothing. Throws ToolError when the
// image cannot be laid out so: headers that would not fit, a DOS stub
// reaching past 128, bytes other than a symbol table after the last section,
// or a signature (layout changes would break it).
InstallerImageChanges PrepareInstallerImage(std::vector<std::uint8_t>& file);

}  // namespace orvek::tools
