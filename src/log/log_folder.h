// Which files a configuration may point the log at. Pure: no system headers.
//
// "log.properties" is read from the current directory, usually a Downloads
// folder, and the installer runs elevated: a planted file naming any path
// would make it create or truncate that file. Configured log files must
// therefore lie in the log's own folder.
#pragma once

#include <string>
#include <string_view>

namespace orvek::log {

// The folder of the built-in log below the temporary directory `temp_dir`
// (with its final separator): L"C:\\T\\" => L"C:\\T\\\\orvek".
std::wstring LogFolder(std::wstring_view temp_dir);

// True when `path` names a file directly in `folder`, once "." and ".." and
// doubled separators are resolved as Windows resolves them. Both must be
// absolute ("X:\..." or, for the native build, "/..."); ASCII letters compare
// in any case. Refused outright: relative and drive-relative paths ("a.log",
// "C:a.log"), "\\?\", "\\.\" and UNC paths, a ".." above the root, names with
// a colon (streams), wildcards or control characters, names ending in a dot
// or a blank (Windows strips those), and device names ("CON", "com1.log").
//   (L"C:\\T\\\\orvek\\x.log",          L"C:\\T\\\\orvek") => true
//   (L"c:/t/orvek/sub/../x.log",        L"C:\\T\\\\orvek") => true
//   (L"C:\\T\\orvek\\..\\x.log",        L"C:\\T\\\\orvek") => false
//   (L"C:\\T\\orvek\\sub\\x.log",       L"C:\\T\\\\orvek") => false
//   (L"C:\\T\\orvek\\x.log:s",          L"C:\\T\\\\orvek") => false
bool IsFileDirectlyInFolder(std::wstring_view path, std::wstring_view folder);

}  // namespace orvek::log
