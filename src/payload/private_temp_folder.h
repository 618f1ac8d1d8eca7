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

}  // namespace orvek::payload
