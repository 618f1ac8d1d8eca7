// The native build's system services. Linux has no sharing modes, so the log
// file's "nobody else writes it" is an exclusive flock() taken right after
// open: a second process (or a second open in this one) cannot get the file,
// as on Windows. Backslashes in paths are separators here too, because the
// configuration text writes paths the Windows way.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "base/unicode.h"
#include "log/file_appender.h"
#include "log/os.h"

namespace orvek::log {
namespace {

std::string NativePath(const std::wstring& path) {
  std::string native = base::Utf8FromWide(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : FFd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (FFd >= 0) ::close(FFd);
  }
  int get() const { return FFd; }
  explicit operator bool() const { return FFd >= 0; }

 private:
  int FFd;
};

[[noreturn]] void ThrowFileError(const char* what, const std::wstring& path, int error) {
  throw FacilityError(std::string(what) + " \"" + base::Utf8FromWide(path) + "\". " + std::strerror(error));
}

class PosixFileStream : public TFileStream {
 public:
  PosixFileStream(const std::wstring& path, int flags) : FFd(::open(NativePath(path).c_str(), flags | O_CLOEXEC, 0644)) {
    if (!FFd) ThrowFileError("Cannot open file", path, errno);
    if (::flock(FFd.get(), LOCK_EX | LOCK_NB) != 0) {
      ThrowFileError("Cannot open file", path, errno == EWOULDBLOCK ? EBUSY : errno);
    }
  }

  bool Write(std::string_view bytes) override {
    // One call for a regular file; the loop only covers interrupted writes.
    while (!bytes.empty()) {
      const ssize_t written = ::write(FFd.get(), bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
  }

  std::int64_t Position() override { return ::lseek(FFd.get(), 0, SEEK_CUR); }

  int fd() const { return FFd.get(); }

 private:
  UniqueFd FFd;
};

class PosixPlatform : public Platform {
 public:
  bool FileExists(const std::wstring& path) override {
    struct stat info{};
    return ::stat(NativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }

  bool ForceDirectories(const std::wstring& dir) override {
    std::wstring trimmed = dir;
    while (trimmed.size() > 1 && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
    struct stat info{};
    if (::stat(NativePath(trimmed).c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const std::wstring parent = ExtractFileDir(trimmed);
    if (!parent.empty() && parent != trimmed && !ForceDirectories(parent)) return false;
    return ::mkdir(NativePath(trimmed).c_str(), 0755) == 0 || errno == EEXIST;
  }

  std::unique_ptr<TFileStream> OpenForAppend(const std::wstring& path) override {
    auto stream = std::make_unique<PosixFileStream>(path, O_RDWR);
    if (::lseek(stream->fd(), 0, SEEK_END) < 0) ThrowFileError("Cannot seek in file", path, errno);
    return stream;
  }

  std::unique_ptr<TFileStream> CreateEmpty(const std::wstring& path) override {
    // Truncated only once the lock is held, never under another writer.
    auto stream = std::make_unique<PosixFileStream>(path, O_WRONLY | O_CREAT);
    if (::ftruncate(stream->fd(), 0) != 0) ThrowFileError("Cannot create file", path, errno);
    return stream;
  }

  bool RemoveFile(const std::wstring& path) override { return ::unlink(NativePath(path).c_str()) == 0; }

  bool RenameFile(const std::wstring& from, const std::wstring& to) override {
    // rename() would replace `to`; Windows refuses, and so does this.
    struct stat info{};
    if (::lstat(NativePath(to).c_str(), &info) == 0) return false;
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
  }

  std::string ReadWholeFile(const std::wstring& path, std::size_t max_bytes) override {
    const UniqueFd fd(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) ThrowFileError("Cannot open file", path, errno);
    std::string bytes;
    char buffer[4096];
    for (;;) {
      const ssize_t read = ::read(fd.get(), buffer, sizeof buffer);
      if (read < 0 && errno == EINTR) continue;
      if (read < 0) ThrowFileError("Cannot read file", path, errno);
      if (read == 0) return bytes;
      bytes.append(buffer, static_cast<std::size_t>(read));
      if (bytes.size() > max_bytes) {
        bytes.resize(max_bytes + 1);
        return bytes;
      }
    }
  }

  std::wstring ProgramDirectory() override {
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    return ExtractFileDir(base::WideFromUtf8(std::string_view(buffer, static_cast<std::size_t>(length))));
  }

  // The locale encoding of these systems is UTF-8.
  std::wstring AnsiToWide(std::string_view bytes) override { return base::WideFromUtf8(bytes); }
  std::string WideToAnsi(std::wstring_view text) override { return base::Utf8FromWide(text); }
};

}  // namespace

Platform& SystemPlatform() {
  // Never destroyed: threads that still log while the process ends use it.
  static Platform* const platform = new PosixPlatform;
  return *platform;
}

std::wstring TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::wstring path = base::WideFromUtf8(dir != nullptr && *dir != '\0' ? dir : "/tmp");
  if (path.back() != L'/') path += L'/';
  return path;
}

std::wstring CurrentDirectory() {
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
  std::wstring path = base::WideFromUtf8(buffer);
  if (path.back() != L'/') path += L'/';
  return path;
}

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

LocalTime LocalNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min,         local.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

}  // namespace orvek::log
