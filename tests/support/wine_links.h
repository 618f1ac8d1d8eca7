// Links and drive letters for tests of code that must not follow links.
//
// Wine has no CreateSymbolicLinkW and no junctions, but it shows a Unix
// symbolic link inside its prefix as a Windows link (attributes 0x410 for a
// directory, final paths resolved through it), a Unix hard link as a second
// name of one file, and a link in the prefix's "dosdevices" folder as a drive
// letter. These helpers make them with the Linux tools, which Wine starts
// like any other program.
#pragma once

#include <string>

namespace orvek::test {

bool RunsUnderWine();

// The Linux path of a Windows path (the last component need not exist).
std::string UnixPath(const std::wstring& windows_path);

// Makes `link` a symbolic link to `target` (both Windows paths, the target
// existing); fails the calling test when the link is not there afterwards.
void MakeSymbolicLink(const std::wstring& link, const std::wstring& target);

// Makes `link` a second name (hard link) of the file `target`.
void MakeHardLink(const std::wstring& link, const std::wstring& target);

// Removes the link `link` itself; what it points to stays.
void RemoveLink(const std::wstring& link);

// A fresh folder below the temporary directory, its name without "orvek" so
// the removal guard's test decides by what a case adds; removed afterwards
// by the Linux tool, which never follows a link out of it.
class TestTree {
 public:
  TestTree();
  TestTree(const TestTree&) = delete;
  TestTree& operator=(const TestTree&) = delete;
  ~TestTree();

  // The folder joined with `relative` (no leading backslash).
  std::wstring operator()(const std::wstring& relative = L"") const;

 private:
  std::wstring root_;
};

// Creates `path` (its folder must exist) holding `text`.
void WriteText(const std::wstring& path, const std::string& text);
// The content of file `path`, or "<missing>".
std::string ReadText(const std::wstring& path);
bool Exists(const std::wstring& path);

// Maps drive `letter` to `directory` for the life of the object.
class ScopedDrive {
 public:
  ScopedDrive(wchar_t letter, const std::wstring& directory);
  ScopedDrive(const ScopedDrive&) = delete;
  ScopedDrive& operator=(const ScopedDrive&) = delete;
  ~ScopedDrive();

 private:
  std::string device_;
  std::wstring drive_;
};

// Makes every folder in `directory` a share of the server \\<server> for
// the life of the object (\\<server>\x is `directory`\x): Wine finds
// servers below "dosdevices\unc" of its prefix. The shares themselves are
// no links, as on a real server.
class ScopedServer {
 public:
  ScopedServer(const std::wstring& server, const std::wstring& directory);
  ScopedServer(const ScopedServer&) = delete;
  ScopedServer& operator=(const ScopedServer&) = delete;
  ~ScopedServer();

 private:
  std::string link_;
};

}  // namespace orvek::test
