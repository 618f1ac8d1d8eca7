#include "log/builtin_configuration.h"

#include "log/log_folder.h"

namespace orvek::log {

std::wstring BuiltInLogFile(std::wstring_view temp_dir) { return LogFolder(temp_dir) + L"\\teacher-install.log"; }

std::wstring BuiltInConfiguration(std::wstring_view temp_dir, std::wstring_view root_level) {
  const std::wstring lines[] = {
      L"log4delphi.rootLogger=" + std::wstring(root_level) + L", fileAppender",
      L"log4delphi.appender.fileAppender=TRollingFileAppender",
      L"log4delphi.appender.fileAppender.MaxBackupIndex=100",
      L"log4delphi.appender.fileAppender.MaxFileSize=10M",
      L"log4delphi.appender.fileAppender.File=" + BuiltInLogFile(temp_dir),
      L"log4delphi.appender.fileAppender.AppDir=false",
      L"log4delphi.appender.fileAppender.Append=true",
      L"log4delphi.appender.fileAppender.layout=TPatternLayout",
      // The final blank is trimmed away when the text is read.
      L"log4delphi.appender.fileAppender.layout.Pattern=" + std::wstring(kBuiltInPattern) + L" ",
  };
  std::wstring text;
  for (const std::wstring& line : lines) {
    if (!text.empty()) text += L"\r\n";
    text += line;
  }
  return text;
}

}  // namespace orvek::log
