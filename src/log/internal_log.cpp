#include "log/internal_log.h"

namespace orvek::log {

void InternalLog::Enable(const std::wstring& path) {
  FStream.reset();
  try {
    FStream = FPlatform.CreateEmpty(path);
  } catch (const FacilityError&) {
    FStream.reset();
  }
}

void InternalLog::Close() { FStream.reset(); }

void InternalLog::Write(std::wstring_view severity, std::wstring_view text) {
  if (!FStream) return;
  std::wstring line(severity);
  line += text;
  line += L"\r\n";
  FStream->Write(FPlatform.WideToAnsi(line));
}

}  // namespace orvek::log
