// What the log core needs from the operating system. The core stays free of
// system headers; the platform layer (os_win.cpp, os_posix.cpp) implements
// this once per system and the core is handed a reference.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvek::log {

// A failure inside the facility: configuration text it cannot use, a file it
// cannot open or read. The message is UTF-8. It never leaves the log unit.
class FacilityError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An open file that is written at its end.
class TFileStream {
 public:
  virtual ~TFileStream() = default;
  // One call to the operating system, no buffer in between, so the bytes have
  // left the process when it returns. False when not everything was written
  // (a full disk); the caller then loses that record and goes on.
  virtual bool Write(std::string_view bytes) = 0;
  // The current position, which is the file size since every write goes to
  // the end; -1 when the system cannot tell.
  virtual std::int64_t Position() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual bool FileExists(const std::wstring& path) = 0;
  // Creates `dir` and every missing parent; true when `dir` exists afterwards.
  virtual bool ForceDirectories(const std::wstring& dir) = 0;
  // Both open with the log file's sharing: other processes may read the file
  // but nobody else may write it, and the open fails while someone else
  // holds it for writing. Throw FacilityError naming the path and the reason.
  //   OpenForAppend: an existing file, read/write, positioned at its end.
  //   CreateEmpty:   a new file, or an existing one truncated - but only once
  //                  the sharing check has passed, so a file held by another
  //                  process is never truncated.
  // Neither follows a link: when the file or its folder is a link (symbolic
  // link, junction) or the file has other names (a hard link), they throw
  // and nothing is written.
  virtual std::unique_ptr<TFileStream> OpenForAppend(const std::wstring& path) = 0;
  virtual std::unique_ptr<TFileStream> CreateEmpty(const std::wstring& path) = 0;
  virtual bool RemoveFile(const std::wstring& path) = 0;
  // Fails, and changes nothing, when `to` exists.
  virtual bool RenameFile(const std::wstring& from, const std::wstring& to) = 0;
  // The content, but never more than `max_bytes` + 1 bytes, so that a caller
  // tells a longer file without holding it; throws FacilityError when it
  // cannot be read.
  virtual std::string ReadWholeFile(const std::wstring& path, std::size_t max_bytes) = 0;
  // Directory of the running program file, without a final separator.
  virtual std::wstring ProgramDirectory() = 0;
  // The system's ANSI code page: configuration files without a byte-order
  // mark, and the facility's own trace file.
  virtual std::wstring AnsiToWide(std::string_view bytes) = 0;
  virtual std::string WideToAnsi(std::wstring_view text) = 0;
};

}  // namespace orvek::log
