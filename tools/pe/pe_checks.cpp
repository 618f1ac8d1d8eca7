#include "pe/pe_checks.h"

#include <algorithm>
#include <regex>

#include "base/hex.h"
#include "base/text.h"
#include "payload/installer_file_layout.h"
#include "payload/pe_image.h"
#include "pe/pe_details.h"

namespace orvek::tools {
namespace {

using namespace orvek::payload;

bool AllZero(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

void CheckManifest(std::span<const std::uint8_t> file, const PeHeaders& h,
                   std::vector<std::string>& problems) {
  const std::optional<std::string> manifest = FindProcessManifest(file, h);
  if (!manifest) {
    problems.push_back("no process manifest (RT_MANIFEST resource 1)");
    return;
  }
  static const std::regex kAdmin(
      R"(<([A-Za-z0-9_]+:)?requestedExecutionLevel\b[^>]*\blevel\s*=\s*["']requireAdministrator["'])");
  if (!std::regex_search(*manifest, kAdmin)) {
    problems.push_back("the manifest does not request level=\"requireAdministrator\"");
  }
  const std::string lower = base::AsciiLower(*manifest);
  // Either would change the version or the DPI behaviour Windows gives the process.
  if (lower.find("dpiaware") != std::string::npos) {
    problems.push_back("the manifest declares DPI awareness");
  }
  if (lower.find("supportedos") != std::string::npos) {
    problems.push_back("the manifest lists supported operating systems");
  }
}

// comctl32 is no Known DLL; the loader takes it from the side-by-side store
// instead of the program's folder only when the manifest binds it there.
bool BindsCommonControls(std::span<const std::uint8_t> file, const PeHeaders& h) {
  static const std::regex kDependency(
      R"(<([A-Za-z0-9_]+:)?assemblyIdentity\b[^>]*\bname\s*=\s*["']Microsoft\.Windows\.Common-Controls["'])");
  const std::optional<std::string> manifest = FindProcessManifest(file, h);
  return manifest && std::regex_search(*manifest, kDependency);
}

void CheckImports(std::span<const std::uint8_t> file, const PeHeaders& h,
                  const PeCheckOptions& options, std::vector<std::string>& problems) {
  for (const ImportedDll& dll : ListImports(file, h)) {
    const std::string how = dll.delayed ? " (delay-load)" : "";
    if (options.allowed_dlls && !options.allowed_dlls->count(base::AsciiLower(dll.name))) {
      problems.push_back("imports " + dll.name + how + ", which is not on the allowed DLL list");
    } else if (options.allowed_dlls && base::AsciiLower(dll.name) == "comctl32.dll" &&
               !BindsCommonControls(file, h)) {
      problems.push_back("imports " + dll.name + how +
                         " without a manifest dependency on Microsoft.Windows.Common-Controls, so "
                         "the loader would search the program's folder for it");
    }
    for (const std::string& function : dll.functions) {
      const std::string key = ImportKey(dll.name, function);
      if (options.denied_functions.count(function)) {
        problems.push_back("imports " + key + how + ", which Windows 7 does not have");
      } else if (options.allowed_functions && !options.allowed_functions->count(key)) {
        problems.push_back("imports " + key + how +
                           ", which is not on the vetted Windows 7 function list");
      }
    }
  }
}

void CheckInstallerLayout(std::span<const std::uint8_t> file, const PeHeaders& h,
                          std::vector<std::string>& problems) {
  if (h.pe_offset != kInstallerPeHeaderPosition) {
    problems.push_back("the PE header is at " + std::to_string(h.pe_offset) + ", not at " +
                       std::to_string(kInstallerPeHeaderPosition));
  }
  if (h.pe_offset >= kInstallerPeHeaderPosition &&
      !AllZero(file.subspan(kPayloadOffsetPosition, kInstallerPeHeaderPosition - kPayloadOffsetPosition))) {
    problems.push_back("offsets 128..255 are not zero (DOS stub or fields reach into them)");
  }
  if (h.symbol_table_offset != 0 || h.symbol_count != 0) {
    problems.push_back("the image carries a COFF symbol table");
  }
  if (file.size() != h.raw_data_end()) {
    problems.push_back(std::to_string(file.size()) + " bytes in the file, but the last section ends at " +
                       std::to_string(h.raw_data_end()));
  }
}

void CheckPackedLayout(std::span<const std::uint8_t> file, const PeHeaders& h,
                       std::vector<std::string>& problems) {
  if (h.pe_offset < kFieldsEnd) {
    problems.push_back("the PE header at " + std::to_string(h.pe_offset) + " overlaps the fields");
    return;
  }
  const InstallerFields fields = ReadInstallerFields(file);
  if (static_cast<std::uint64_t>(fields.payload_offset) != h.raw_data_end()) {
    problems.push_back("payload offset " + std::to_string(fields.payload_offset) +
                       " is not the end of the image (" + std::to_string(h.raw_data_end()) + ")");
  } else if (file.size() < fields.payload_offset + k7zSignature.size() ||
             !std::equal(k7zSignature.begin(), k7zSignature.end(),
                         file.begin() + fields.payload_offset)) {
    problems.push_back("no 7z signature at the payload offset " + std::to_string(fields.payload_offset));
  }
  const std::string text = fields.version_field.substr(0, fields.version_field.find('\0'));
  if (!VersionTextProblem(text).empty() ||
      !AllZero(std::span(file.begin() + kVersionPosition + text.size(), file.begin() + kFieldsEnd))) {
    problems.push_back("the version field is not 1..11 printable characters followed by zeros");
  }
  if (const PeDataDirectory security = h.directory(kSecurityDirectory); security.size != 0) {
    const std::uint64_t end = std::uint64_t{security.address} + security.size;
    if (security.address % 8 != 0 || end != file.size() ||
        security.address < static_cast<std::uint64_t>(fields.payload_offset) + 32) {
      problems.push_back("the certificate table at " + std::to_string(security.address) + " (" +
                         std::to_string(security.size) +
                         " bytes) is not 8-aligned behind the archive up to the end of the file");
    }
  }
}

}  // namespace

std::string ImportKey(std::string_view dll, std::string_view function) {
  return base::AsciiLower(dll) + "!" + std::string(function);
}

std::set<std::string> ParseNameList(std::string_view text, bool lower_dll) {
  std::set<std::string> names;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    line = line.substr(0, line.find('#'));
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);
    if (line.empty()) continue;
    if (!lower_dll) {
      names.emplace(line);
      continue;
    }
    const std::size_t bang = line.find('!');
    names.insert(bang == std::string_view::npos ? base::AsciiLower(line)
                                                : ImportKey(line.substr(0, bang), line.substr(bang + 1)));
  }
  return names;
}

std::vector<std::string> CheckSystemFolderFiles(std::string_view manifest, const std::set<std::string>& dlls) {
  static const std::regex kFile(R"(<([A-Za-z0-9_]+:)?file\b([^>]*)>)");
  static const std::regex kName(R"(\bname\s*=\s*["']([^"']*)["'])");
  static const std::regex kLoadFrom(R"(\bloadFrom\s*=\s*["']([^"']*)["'])");
  std::vector<std::string> problems;
  std::set<std::string> bound;
  const std::string text(manifest);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kFile); it != std::sregex_iterator(); ++it) {
    const std::string attributes = (*it)[2];
    std::smatch name, from;
    if (!std::regex_search(attributes, name, kName) || !std::regex_search(attributes, from, kLoadFrom)) continue;
    const std::string dll = base::AsciiLower(name[1].str());
    if (base::AsciiLower(from[1].str()) != "%systemroot%\\system32\\") {
      problems.push_back("the manifest loads " + dll + " from " + from[1].str() + ", not from the system folder");
    } else if (dll == "comctl32.dll") {
      problems.push_back("the manifest binds comctl32.dll to the system folder, which holds version 5 only");
    } else {
      bound.insert(dll);
    }
  }
  for (const std::string& dll : dlls) {
    if (!bound.count(dll)) problems.push_back("the manifest does not bind " + dll + " to the system folder");
  }
  return problems;
}

std::vector<std::string> CheckPeImage(std::span<const std::uint8_t> file, const PeCheckOptions& options) {
  const PeHeaders h = ParsePeHeaders(file);
  std::vector<std::string> problems;
  if (options.machine && h.machine != *options.machine) {
    problems.push_back("machine 0x" + base::Hex(h.machine, 4) + ", expected 0x" +
                       base::Hex(*options.machine, 4));
  }
  if (options.gui && h.subsystem != kSubsystemWindowsGui) {
    problems.push_back("subsystem " + std::to_string(h.subsystem) + ", expected 2 (Windows GUI)");
  }
  if (options.admin_manifest) CheckManifest(file, h, problems);
  if (options.system_folder_dlls) {
    const std::optional<std::string> manifest = FindProcessManifest(file, h);
    for (std::string& problem : CheckSystemFolderFiles(manifest.value_or(""), *options.system_folder_dlls)) {
      problems.push_back(std::move(problem));
    }
  }
  if (options.allowed_dlls || options.allowed_functions || !options.denied_functions.empty()) {
    CheckImports(file, h, options, problems);
  }
  if (options.installer_layout) CheckInstallerLayout(file, h, problems);
  if (options.packed_layout) CheckPackedLayout(file, h, problems);
  if (options.checksum) {
    const std::uint32_t computed = ComputePeChecksum(file);
    if (computed != h.checksum) {
      problems.push_back("stored CheckSum 0x" + base::Hex(h.checksum, 8) + ", the file's is 0x" +
                         base::Hex(computed, 8));
    }
  }
  return problems;
}

std::string DescribePeImage(std::span<const std::uint8_t> file) {
  const PeHeaders h = ParsePeHeaders(file);
  const PeDataDirectory security = h.directory(kSecurityDirectory);
  std::string text;
  const auto line = [&text](const std::string& key, const std::string& value) {
    text += key + "=" + value + "\n";
  };
  line("machine", "0x" + base::Hex(h.machine, 4));
  line("subsystem", std::to_string(h.subsystem));
  line("pe_offset", std::to_string(h.pe_offset));
  line("image_end", std::to_string(h.raw_data_end()));
  line("file_size", std::to_string(file.size()));
  line("checksum_stored", "0x" + base::Hex(h.checksum, 8));
  line("checksum_computed", "0x" + base::Hex(ComputePeChecksum(file), 8));
  if (file.size() >= kFieldsEnd) {
    const InstallerFields fields = ReadInstallerFields(file);
    line("payload_offset", std::to_string(fields.payload_offset));
    line("version", fields.version_field.substr(0, fields.version_field.find('\0')));
  }
  line("security_offset", std::to_string(security.address));
  line("security_size", std::to_string(security.size));
  return text;
}

std::string DescribeImports(std::span<const std::uint8_t> file) {
  const PeHeaders h = ParsePeHeaders(file);
  std::string text;
  for (const ImportedDll& dll : ListImports(file, h)) {
    for (const std::string& function : dll.functions) {
      text += ImportKey(dll.name, function) + (dll.delayed ? " (delay-load)" : "") + "\n";
    }
  }
  return text;
}

}  // namespace orvek::tools
