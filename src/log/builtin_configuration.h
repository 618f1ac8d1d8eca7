// The configuration in force when no "log.properties" is found.
#pragma once

#include <string>
#include <string_view>

namespace orvek::log {

// The layout of the log file's records.
inline constexpr std::wstring_view kBuiltInPattern = L"%d{yyyy-mm-dd hh:nn:ss:zzz} [%5p] %m%n";

// The nine lines of the built-in configuration joined by CR LF, with no line
// end after the last. `temp_dir` is the temporary directory as the system
// reports it, with its final separator; the file name that follows begins
// with one too, so the path holds two in a row, which Windows reads as one.
//   (L"C:\\T\\", L"INFO") => L"log4delphi.rootLogger=INFO, fileAppender\r\n..."
//   with the file line L"log4delphi.appender.fileAppender.File=C:\\T\\\\orvek\\teacher-install.log"
// The file of the built-in configuration: L"C:\\T\\" => L"C:\\T\\\\orvek\\teacher-install.log".
std::wstring BuiltInLogFile(std::wstring_view temp_dir);

std::wstring BuiltInConfiguration(std::wstring_view temp_dir, std::wstring_view root_level);

}  // namespace orvek::log
