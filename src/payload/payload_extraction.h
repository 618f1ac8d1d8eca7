// The payload stretch of the install worker: copy the archive appended to
// the installer file into a temporary archive, write the archive library,
// open the archive with its password, add up the item sizes and extract
// everything below the installation directory with progress.
//
// Runs on the install worker thread; it reaches the window only through the
// hooks, which must do their own hand-off to the UI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvek::payload {

// "vorplank": the archive password, a constant of the program.
extern const wchar_t kArchivePassword[];

// The installer decodes with one thread. On a 2-core machine
// (scripts/bench-extract.sh) that is as fast as the library's default of one
// thread per processor, within the rounds' spread, and peaks at about 51 MiB
// for every payload shape; block-parallel decoding holds whole unpacked
// blocks and peaked at 110 to 163 MiB on 150 MiB payloads, inside a 32-bit
// process on PCs that have little memory. Progress then moves in steps of
// 4 MiB of output instead of about 1 % of the payload.
inline constexpr std::uint32_t kDecoderThreads = 1;

struct PayloadHooks {
  // The refused-offset page: the workflow shows `text` as an error on the
  // installing page (SyncShowPages). Called at most once.
  std::function<void(const std::wstring& text)> show_error_page;
  // The percent of the library's progress notices, in order, each time it
  // differs from the one before (every notice is logged, not every one is
  // handed on). Any thread; it need not wait until the window has shown it.
  std::function<void(std::int32_t percent)> show_progress;
  // Between extraction and releasing the library (clearing user data).
  std::function<void()> after_extract;
};

struct PayloadSource {
  // The running installer's own file.
  std::wstring installer_path;
  // The module whose resources hold "7ZDLL" of type "TEXT"; nullptr for the
  // executable.
  HMODULE library_module = nullptr;
  // 0 leaves the library's own choice (I7zInArchive::AssignDecoderThreads).
  std::uint32_t decoder_threads = kDecoderThreads;
};

// Runs the stretch. Returns false, after the hook's error page and the error
// line "get zip file postion less then 0", when the payload offset is 0 or
// negative; nothing is written then. Returns true when everything was
// extracted. Any other failure throws (std::exception, message UTF-8) for the
// workflow's "install failed, " line. The library and the temporary archive
// live in a private folder (private_temp_folder.h) that is gone when this
// returns or throws; files extracted before a failure stay.
bool ExtractPayload(const PayloadSource& source, const std::wstring& install_dir,
                    const PayloadHooks& hooks);

// The item paths of the files in the payload, relative to the installation
// directory, read from a private copy of the archive as ExtractPayload reads
// it (nothing is extracted). Throws as ExtractPayload does (a refused
// payload offset as ArchiveDamagedError).
std::vector<std::wstring> ListPayloadFiles(const PayloadSource& source);

// Writes the "7ZDLL" resource of `module` to `directory` + "\7z.dll" and
// returns that path. Throws SevenZipError on failure.
std::wstring ExtractArchiveLibrary(const std::wstring& directory, HMODULE module);

// Copies the bytes of `installer_path` from `offset` to its end into a new
// file `archive_path` through one small buffer, so memory use does not grow
// with the payload. Throws SevenZipError with the system's message.
void CopyPayload(const std::wstring& installer_path, std::int64_t offset,
                 const std::wstring& archive_path);

}  // namespace orvek::payload
