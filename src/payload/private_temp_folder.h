// A fresh folder below the temporary directory that only Administrators and
// SYSTEM may change, for the files the elevated installer writes and then
// loads or reads back (the archive library and the temporary archive). In
// the shared temporary directory anyone could otherwise swap 7z.dll between
// its writing and its loading.
#pragma once

#include <string>

namespace orvek::payload {

class PrivateTempFolder {
 public:
  // Creates "<temp>orvek-<unique>" with a protected DACL granting full
  // access to SYSTEM and Administrators only. A name that already exists is
  // never reused (it could be someone else's). Throws SevenZipError with the
  // system's message when no folder can be made.
  PrivateTempFolder();
  PrivateTempFolder(const PrivateTempFolder&) = delete;
  PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
  // Removes the folder and every file in it; a file that cannot be deleted
  // is logged as "delete tmp file error, " + its path.
  ~PrivateTempFolder();

  // Without a trailing backslash.
  const std::wstring& path() const noexcept { return path_; }

 private:
  std::wstring path_;
};

// Removes the private folders that earlier runs of this installer left below
// the temporary directory when they ended during an extraction (the window
// closed, the machine shut down), each with a copy of the whole payload.
// Only while holding the installer mutex, so no running installer's folder
// is touched. Removed are only entries that
//   - are named like ours: "orvek-" and 1 to 16 lower-case hexadecimal digits;
//   - are real directories, not links (junctions, symbolic links), held open
//     while they are emptied so that they cannot be swapped for one;
//   - carry the protected permissions above, where the platform keeps them
//     (Wine without stored security descriptors does not);
//   - hold files only: a link inside is removed as a link, never followed;
//     a folder inside keeps the whole folder.
// Never throws; what cannot be removed stays.
void RemoveStalePrivateTempFolders() noexcept;

}  // namespace orvek::payload
