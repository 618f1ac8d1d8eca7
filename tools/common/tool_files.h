// File handling shared by the build tools: whole-file reads with messages
// that name the file, and replacing a file so that it is never seen half
// written and a failed run leaves nothing behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvek::tools {

// A failure a tool reports as one line and exits with status 1.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws ToolError "cannot read <path>: <reason>".
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Permission bits of an existing file, for giving its replacement the same.
mode_t FileMode(const std::filesystem::path& path);

// A new file written next to `destination` under a temporary name and moved
// over it by Commit(): fsync, rename, fsync of the folder. Until Commit()
// succeeds the destination is untouched; the destructor removes the
// temporary file of an uncommitted write. Every failure throws ToolError.
class AtomicFile {
 public:
  AtomicFile(std::filesystem::path destination, mode_t mode);
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  void Write(std::span<const std::uint8_t> bytes);
  void WriteAt(std::uint64_t position, std::span<const std::uint8_t> bytes);
  void Commit();

 private:
  [[noreturn]] void Fail(const std::string& what) const;

  std::filesystem::path destination_;
  std::filesystem::path temporary_;
  int fd_ = -1;
};

}  // namespace orvek::tools
