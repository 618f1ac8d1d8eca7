// orvek-pe-layout: the post-link step of the installer executable.
#include <cstdio>
#include <exception>
#include <string>

#include "common/tool_files.h"
#include "pe/installer_image.h"

namespace {

constexpr const char* kUsage =
    "usage: orvek-pe-layout INSTALLER.exe [-o OUTPUT.exe]\n"
    "\n"
    "Moves the PE headers from the linker's offset 128 to 256, so that the installer\n"
    "fields at 128..142 fit, drops a COFF symbol table, and recomputes the CheckSum.\n"
    "Rewrites INSTALLER.exe in place (atomically) unless -o is given. Running it again\n"
    "on its own output changes nothing.\n"
    "\n"
    "exit status: 0 done, 1 image refused or write failed, 2 usage error\n";

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "orvek-pe-layout: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "-o" || arg == "--output") {
      if (i + 1 >= argc) return UsageError("missing value after " + arg);
      output = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (input.empty()) {
      input = arg;
    } else {
      return UsageError("unexpected argument " + arg);
    }
  }
  if (input.empty()) return UsageError("no executable given");
  if (output.empty()) output = input;

  try {
    std::vector<std::uint8_t> file = orvek::tools::ReadWholeFile(input);
    try {
      orvek::tools::PrepareInstallerImage(file);
    } catch (const orvek::tools::ToolError& e) {
      throw orvek::tools::ToolError(input + ": " + e.what());
    }
    orvek::tools::AtomicFile out(output, orvek::tools::FileMode(input));
    out.Write(file);
    out.Commit();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvek-pe-layout: %s\n", e.what());
    return 1;
  }
}
