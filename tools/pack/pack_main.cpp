// orvek-pack: turns the linked installer executable into the installer file.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "common/tool_files.h"
#include "pack/installer_packer.h"

namespace {

constexpr const char* kUsage =
    "usage: orvek-pack --exe INSTALLER.exe --version TEXT --archive PAYLOAD.7z -o OUTPUT.exe\n"
    "\n"
    "Writes OUTPUT.exe: INSTALLER.exe with the payload offset at file offset 128 and\n"
    "TEXT (1 to 11 printable ASCII characters, no blanks) at 132, PAYLOAD.7z appended\n"
    "at the end of the image and zero-padded to a multiple of 8, and the PE checksum\n"
    "of the whole file. Sign OUTPUT.exe\n"
    "afterwards if it is to be signed. OUTPUT.exe is replaced atomically; on failure\n"
    "nothing is written.\n"
    "\n"
    "exit status: 0 written, 1 input refused or write failed, 2 usage error\n";

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "orvek-pack: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  orvek::tools::PackRequest request;
  bool have_exe = false, have_version = false, have_archive = false, have_output = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return UsageError(arg.rfind('-', 0) == 0 ? "missing value after " + arg
                                                                 : "unexpected argument " + arg);
    const std::string value = argv[++i];
    if (arg == "--exe") {
      request.exe = value, have_exe = true;
    } else if (arg == "--version") {
      request.version = value, have_version = true;
    } else if (arg == "--archive") {
      request.archive = value, have_archive = true;
    } else if (arg == "-o" || arg == "--output") {
      request.output = value, have_output = true;
    } else {
      return UsageError("unknown option " + arg);
    }
  }
  if (!have_exe) return UsageError("--exe is required");
  if (!have_version) return UsageError("--version is required");
  if (!have_archive) return UsageError("--archive is required");
  if (!have_output) return UsageError("-o is required");

  try {
    const auto result = orvek::tools::PackInstaller(request);
    std::printf("orvek-pack: wrote %s (%llu bytes, payload at %d, checksum 0x%08X)\n",
                request.output.c_str(), static_cast<unsigned long long>(result.size),
                result.payload_offset, result.checksum);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvek-pack: %s\n", e.what());
    return 1;
  }
}
