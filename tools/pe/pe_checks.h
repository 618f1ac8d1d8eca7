// The static checks of the installer executable and of installer files.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvek::tools {

struct PeCheckOptions {
  std::optional<std::uint16_t> machine;
  bool gui = false;
  // The process manifest requests requireAdministrator and declares neither
  // DPI awareness nor supported operating systems.
  bool admin_manifest = false;
  // The installer executable before packing: PE header at 256, offsets
  // 128..255 zero, no symbol table, nothing after the last section.
  bool installer_layout = false;
  // An installer file: payload offset = end of the image, 7z signature there,
  // a storable version, and a certificate table, if any, behind the archive
  // running to the end of the file.
  bool packed_layout = false;
  bool checksum = false;
  // Lower-case DLL names ("kernel32.dll"); no check when absent. comctl32.dll
  // passes only with a manifest dependency on the Common-Controls assembly.
  std::optional<std::set<std::string>> allowed_dlls;
  // "kernel32.dll!CreateFileW": lower-case DLL, function as exported.
  std::optional<std::set<std::string>> allowed_functions;
  // Bare function names that must never be imported from any DLL.
  std::set<std::string> denied_functions;
  // Lower-case DLL names the process manifest must bind to the system folder
  // (CheckSystemFolderFiles); no check when absent.
  std::optional<std::set<std::string>> system_folder_dlls;
};

// One line per problem found; empty when every requested check passes.
// Throws payload::PeFormatError when `file` is not a readable PE image.
std::vector<std::string> CheckPeImage(std::span<const std::uint8_t> file,
                                      const PeCheckOptions& options);

// The manifest's <file name="X" loadFrom="%SystemRoot%\system32\"/> entries
// against `dlls` (lower-case names): one problem per listed DLL without such
// an entry, per entry that loads from anywhere but the system folder, and for
// comctl32.dll, whose version 6 must come from the side-by-side store.
std::vector<std::string> CheckSystemFolderFiles(std::string_view manifest, const std::set<std::string>& dlls);

// "KERNEL32.dll", "CreateFileW" => "kernel32.dll!CreateFileW".
std::string ImportKey(std::string_view dll, std::string_view function);

// Entries of a list file: one per line, '#' starts a comment, blanks around
// an entry are dropped. With `lower_dll`, the part before '!' (or the whole
// entry when there is none) is lower-cased.
std::set<std::string> ParseNameList(std::string_view text, bool lower_dll);

// key=value lines describing `file` for scripts and people: machine,
// subsystem, pe_offset, image_end, file_size, checksum_stored,
// checksum_computed, payload_offset, version, security_offset, security_size.
std::string DescribePeImage(std::span<const std::uint8_t> file);

// DLL!function per import, delay-loaded ones marked " (delay-load)".
std::string DescribeImports(std::span<const std::uint8_t> file);

}  // namespace orvek::tools
