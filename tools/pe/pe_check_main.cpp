// orvek-pe-check: static checks of the installer executable and of installer
// files, and descriptions of both for scripts.
#include <cstdio>
#include <exception>
#include <set>
#include <stdexcept>
#include <string>

#include "common/tool_files.h"
#include "payload/pe_image.h"
#include "pe/pe_checks.h"

namespace {

constexpr const char* kUsage =
    "usage: orvek-pe-check [CHECKS] FILE\n"
    "       orvek-pe-check --describe FILE | --imports FILE\n"
    "\n"
    "checks (each failure is printed on a line of its own):\n"
    "  --machine i386|amd64   COFF machine type\n"
    "  --gui                  Windows GUI subsystem\n"
    "  --admin-manifest       process manifest requests requireAdministrator and\n"
    "                         declares neither dpiAware nor supportedOS\n"
    "  --installer-layout     PE header at 256, offsets 128..255 zero, no symbol\n"
    "                         table, nothing after the last section\n"
    "  --packed-layout        installer file: payload offset at the end of the image,\n"
    "                         7z signature there, valid version, certificate table\n"
    "                         (if any) behind the archive up to the end of the file\n"
    "  --checksum             stored CheckSum equals the PE checksum of the file\n"
    "  --allowed-dlls LIST    every imported DLL is listed (one name per line)\n"
    "  --allowed-functions LIST  every import is listed as dll!function\n"
    "  --denied-functions LIST   no import is a listed function name\n"
    "  --system-folder-dlls LIST the process manifest binds every listed DLL to\n"
    "                         the system folder (<file loadFrom=\"%SystemRoot%\\system32\\\">)\n"
    "\n"
    "  --describe             print key=value facts (offsets, fields, checksums)\n"
    "  --imports              print dll!function for every import\n"
    "\n"
    "exit status: 0 all checks pass, 1 a check failed or FILE is no PE image,\n"
    "             2 usage error or unreadable list\n";

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "orvek-pe-check: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

std::set<std::string> ReadList(const std::string& path, bool lower_dll) {
  const std::vector<std::uint8_t> bytes = orvek::tools::ReadWholeFile(path);
  return orvek::tools::ParseNameList(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), lower_dll);
}

}  // namespace

int main(int argc, char** argv) {
  orvek::tools::PeCheckOptions options;
  std::string file_name;
  bool describe = false, imports = false;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      const auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument("missing value after " + arg);
        return argv[++i];
      };
      if (arg == "-h" || arg == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (arg == "--machine") {
        const std::string machine = value();
        if (machine == "i386") {
          options.machine = orvek::payload::kMachineI386;
        } else if (machine == "amd64") {
          options.machine = orvek::payload::kMachineAmd64;
        } else {
          throw std::invalid_argument("unknown machine " + machine);
        }
      } else if (arg == "--gui") {
        options.gui = true;
      } else if (arg == "--admin-manifest") {
        options.admin_manifest = true;
      } else if (arg == "--installer-layout") {
        options.installer_layout = true;
      } else if (arg == "--packed-layout") {
        options.packed_layout = true;
      } else if (arg == "--checksum") {
        options.checksum = true;
      } else if (arg == "--allowed-dlls") {
        options.allowed_dlls = ReadList(value(), true);
      } else if (arg == "--allowed-functions") {
        options.allowed_functions = ReadList(value(), true);
      } else if (arg == "--system-folder-dlls") {
        options.system_folder_dlls = ReadList(value(), true);
      } else if (arg == "--denied-functions") {
        options.denied_functions = ReadList(value(), false);
      } else if (arg == "--describe") {
        describe = true;
      } else if (arg == "--imports") {
        imports = true;
      } else if (!arg.empty() && arg[0] == '-') {
        throw std::invalid_argument("unknown option " + arg);
      } else if (file_name.empty()) {
        file_name = arg;
      } else {
        throw std::invalid_argument("unexpected argument " + arg);
      }
    }
    if (file_name.empty()) throw std::invalid_argument("no file given");
  } catch (const std::exception& e) {
    return UsageError(e.what());
  }

  try {
    const std::vector<std::uint8_t> file = orvek::tools::ReadWholeFile(file_name);
    if (describe) std::fputs(orvek::tools::DescribePeImage(file).c_str(), stdout);
    if (imports) std::fputs(orvek::tools::DescribeImports(file).c_str(), stdout);
    const auto problems = orvek::tools::CheckPeImage(file, options);
    for (const std::string& problem : problems) {
      std::fprintf(stderr, "%s: %s\n", file_name.c_str(), problem.c_str());
    }
    return problems.empty() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvek-pe-check: %s: %s\n", file_name.c_str(), e.what());
    return 1;
  }
}
