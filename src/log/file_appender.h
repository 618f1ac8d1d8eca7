// A writer appender on a file. The file is opened by SetFile and stays open
// until the appender is destroyed or SetFile is called again; until then the
// appender is closed and drops every event.
#pragma once

#include <memory>
#include <string>

#include "log/appender.h"
#include "log/internal_log.h"
#include "log/platform.h"

namespace orvek::log {

class TFileAppender : public TWriterAppender {
 public:
  TFileAppender(Platform& platform, InternalLog& trace);
  ~TFileAppender() override;  // writes the layout's footer, closes the file

  // Stores the layout, then writes its header (nothing for an empty header).
  void SetLayout(std::unique_ptr<TLayout> layout) override;

  // Opens `path`: with Append an existing file is written on at its end,
  // otherwise the file is created empty. Missing directories are created.
  // Throws FacilityError when that fails; the appender is closed then.
  void SetFile(const std::wstring& path);
  const std::wstring& GetFile() const { return FFileName; }
  void SetAppend(bool append) { FAppend = append; }
  bool GetAppend() const { return FAppend; }

 protected:
  TFileAppender(std::wstring class_name, Platform& platform, InternalLog& trace);
  void CloseFile();

  Platform& FPlatform;
  InternalLog& FTrace;
  std::unique_ptr<TFileStream> FFileStream;
  bool FAppend = false;
  std::wstring FFileName;
};

// The folder of `path`, without its final separator unless that separator
// belongs to a root, which is a folder only with it:
//   L"C:\\t\\\\orvek\\a.log" => L"C:\\t\\\\orvek"   L"a.log" => L""
//   L"C:\\a.log" => L"C:\\"   L"\\\\srv\\share\\a.log" => L"\\\\srv\\share\\"   L"/a.log" => L"/"
// Both "\" and "/" separate, as they do for Windows.
std::wstring ExtractFileDir(const std::wstring& path);

}  // namespace orvek::log
