#include "log/file_appender.h"

#include <algorithm>

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
  if (slash == std::wstring::npos) return std::wstring();
  const std::wstring dir = path.substr(0, slash);
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  // L"", L"C:", L"\\\\srv\\share": roots, which keep their separator.
  const bool drive = dir.size() == 2 && dir[1] == L':';
  const bool share = dir.size() > 2 && separator(dir[0]) && separator(dir[1]) &&
                     std::count_if(dir.begin() + 2, dir.end(), separator) == 1 &&
                     !separator(dir[2]) && !separator(dir.back());
  return dir.empty() || drive || share ? path.substr(0, slash + 1) : dir;
}

}  // namespace orvek::log
