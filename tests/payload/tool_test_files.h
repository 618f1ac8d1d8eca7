// Files and programs for the build-tool tests: the linked sample programs,
// scratch folders, 7z archives made by the 7z tool, and running a tool.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvek::tools::test {

using Bytes = std::vector<std::uint8_t>;

// A program linked for these tests (see samples/ and CMakeLists.txt):
// "linked" (x86_64, -s, admin manifest), "linked32" (i686, -s), "symbols"
// (COFF symbol table, no debug sections), "debug" (unstripped, debug
// sections), "dpi_aware" (manifest with dpiAware and supportedOS).
std::filesystem::path SamplePath(const std::string& name);

Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names of everything in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path path_;
};

struct CommandResult {
  int status = -1;     // exit status, -1 when it did not exit normally
  std::string output;  // stdout and stderr together
};
CommandResult RunCommand(const std::string& command);
std::string Quote(const std::filesystem::path& path);

// A password-protected 7z archive made by the 7z tool, the way the payload
// is made, from a few files (one of `random_bytes` random bytes).
std::filesystem::path Make7zArchive(const std::filesystem::path& dir, std::size_t random_bytes);

}  // namespace orvek::tools::test
