#include "log/rolling_file_appender.h"

#include <limits>
#include <string>

#include "base/text.h"
#include "base/unicode.h"

namespace orvek::log {

TRollingFileAppender::TRollingFileAppender(Platform& platform, InternalLog& trace)
    : TFileAppender(L"TRollingFileAppender", platform, trace) {}

void TRollingFileAppender::SetMaxFileSize(std::wstring_view text) {
  if (const std::optional<std::int64_t> bytes = ParseMaxFileSize(text)) FMaxFileSize = *bytes;
}

void TRollingFileAppender::Append(const TLoggingEvent& event) {
  TFileAppender::Append(event);
  if (FFileStream && FFileStream->Position() >= FMaxFileSize) RollOver();
}

void TRollingFileAppender::RollOver() {
  const std::wstring path = FFileName;
  if (FMaxBackupIndex > 0) {
    FTrace.Debug(L"Rolling over [" + path + L"], keeping " + std::to_wstring(FMaxBackupIndex) + L" backups");
    const std::wstring oldest = path + L"." + std::to_wstring(FMaxBackupIndex);
    if (FPlatform.FileExists(oldest)) FPlatform.RemoveFile(oldest);
    for (std::int32_t i = FMaxBackupIndex - 1; i >= 1; --i) {
      const std::wstring from = path + L"." + std::to_wstring(i);
      if (FPlatform.FileExists(from)) FPlatform.RenameFile(from, path + L"." + std::to_wstring(i + 1));
    }
    CloseFile();
    if (!FPlatform.RenameFile(path, path + L".1")) {
      FTrace.Warn(L"Could not rename [" + path + L"] to its first backup");
    }
  }
  try {
    SetFile(path);
  } catch (const FacilityError& failure) {
    FTrace.Error(L"Could not reopen [" + path + L"] after a roll-over: " + base::WideFromUtf8(failure.what()));
  }
}

std::optional<std::int64_t> ParseMaxFileSize(std::wstring_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t unit = 0;
  switch (text.back()) {
    case L'K': unit = 1024; break;
    case L'M': unit = 1024 * 1024; break;
    case L'G': unit = 1024 * 1024 * 1024; break;
    default: return std::nullopt;
  }
  const std::wstring_view digits = text.substr(0, text.size() - 1);
  const std::optional<std::int32_t> count = base::ParseDecimalInt32(digits);
  if (!count) throw FacilityError("\"" + base::Utf8FromWide(digits) + "\" is not a valid integer value");
  const std::int64_t bytes = std::int64_t{*count} * unit;
  if (bytes < 0 || bytes > std::numeric_limits<std::int32_t>::max()) {
    throw FacilityError("MaxFileSize \"" + base::Utf8FromWide(text) + "\" is out of range");
  }
  return bytes;
}

}  // namespace orvek::log
