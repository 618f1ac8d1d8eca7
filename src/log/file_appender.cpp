#include "log/file_appender.h"

#include "base/unicode.h"

namespace orvek::log {

TFileAppender::TFileAppender(Platform& platform, InternalLog& trace)
    : TFileAppender(L"TFileAppender", platform, trace) {}

TFileAppender::TFileAppender(std::wstring class_name, Platform& platform, InternalLog& trace)
    : TWriterAppender(std::move(class_name)), FPlatform(platform), FTrace(trace) {
  FClosed = true;
}

TFileAppender::~TFileAppender() {
  if (FWriter && FLayout) FWriter->Print(FLayout->GetFooter());
  CloseFile();
}

void TFileAppender::SetLayout(std::unique_ptr<TLayout> layout) {
  TWriterAppender::SetLayout(std::move(layout));
  if (FWriter && FLayout) FWriter->Print(FLayout->GetHeader());
}

void TFileAppender::SetFile(const std::wstring& path) {
  FFileName = path;
  CloseFile();
  const std::wstring dir = ExtractFileDir(path);
  if (!dir.empty() && !FPlatform.ForceDirectories(dir)) {
    throw FacilityError("Unable to create directory \"" + base::Utf8FromWide(dir) + "\"");
  }
  // The log is UTF-8 without a byte-order mark, new or appended to alike:
  // bytes already in an existing file are never touched.
  FFileStream = FAppend && FPlatform.FileExists(path) ? FPlatform.OpenForAppend(path)
                                                      : FPlatform.CreateEmpty(path);
  FWriter = std::make_unique<TPrintWriter>(*FFileStream);
  FClosed = false;
  FTrace.Debug(L"Opened log file [" + path + L"]");
}

void TFileAppender::CloseFile() {
  FWriter.reset();  // it borrows the stream
  FFileStream.reset();
  FClosed = true;
}

std::wstring ExtractFileDir(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace orvek::log
