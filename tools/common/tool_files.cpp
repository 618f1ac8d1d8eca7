#include "common/tool_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace orvek::tools {
namespace fs = std::filesystem;

namespace {

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path) {
  if (fs::is_directory(path)) throw ToolError("cannot read " + path.string() + ": it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError("cannot read " + path.string() + ": " + Reason(errno));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) throw ToolError("cannot read " + path.string() + ": " + Reason(errno));
  return bytes;
}

mode_t FileMode(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    throw ToolError("cannot read " + path.string() + ": " + Reason(errno));
  }
  return st.st_mode & 07777;
}

AtomicFile::AtomicFile(fs::path destination, mode_t mode) : destination_(std::move(destination)) {
  if (fs::is_directory(destination_)) {
    throw ToolError("cannot write " + destination_.string() + ": it is a directory");
  }
  fs::path folder = destination_.parent_path();
  if (folder.empty()) folder = ".";
  std::string name = ".";
  name += destination_.filename().string();
  name += ".XXXXXX";
  std::string pattern = (folder / name).string();
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw ToolError("cannot write in " + folder.string() + ": " + Reason(errno));
  temporary_ = pattern;
  if (::fchmod(fd_, mode) != 0) Fail("cannot set the mode of");
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::Fail(const std::string& what) const {
  throw ToolError(what + " " + temporary_.string() + ": " + Reason(errno));
}

void AtomicFile::Write(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot write");
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
}

void AtomicFile::WriteAt(std::uint64_t position, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(position));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot write");
    bytes = bytes.subspan(static_cast<std::size_t>(n));
    position += static_cast<std::uint64_t>(n);
  }
}

void AtomicFile::Commit() {
  if (::fsync(fd_) != 0) Fail("cannot flush");
  if (::close(fd_) != 0) {
    fd_ = -1;
    Fail("cannot close");
  }
  fd_ = -1;
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    throw ToolError("cannot replace " + destination_.string() + ": " + Reason(errno));
  }
  temporary_.clear();
  // The rename is durable only once the folder's entry is on disk.
  fs::path folder = destination_.parent_path();
  if (folder.empty()) folder = ".";
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace orvek::tools
