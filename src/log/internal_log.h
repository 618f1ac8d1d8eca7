// The facility's own trace: what the configurator and the appenders have to
// say about themselves. Silent unless the configuration enables it with
// "log4delphi.debug=true"; then it goes to a plain-text file in the ANSI code
// page, one "SEVERITY: text" line per note.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "log/platform.h"

namespace orvek::log {

class InternalLog {
 public:
  explicit InternalLog(Platform& platform) : FPlatform(platform) {}

  // Starts writing to `path`, created empty. When it cannot be created the
  // trace stays silent: nobody could be told anyway.
  void Enable(const std::wstring& path);
  void Close();
  bool Enabled() const { return FStream != nullptr; }

  void Debug(std::wstring_view text) { Write(L"DEBUG: ", text); }
  void Info(std::wstring_view text) { Write(L"INFO: ", text); }
  void Warn(std::wstring_view text) { Write(L"WARN: ", text); }
  void Error(std::wstring_view text) { Write(L"ERROR: ", text); }

 private:
  void Write(std::wstring_view severity, std::wstring_view text);

  Platform& FPlatform;
  std::unique_ptr<TFileStream> FStream;
};

}  // namespace orvek::log
