// Applies property text to the loggers.
//
// Keys, read in this order (the prefix "log4delphi." is part of every key;
// keys match in any case):
//   debug=true                      the facility's own trace to "log4delphi.log"
//   threshold=LEVEL                 default level of loggers created afterwards
//   rootLogger=[LEVEL][, APPENDER]* the root logger
//   logger.NAME=[LEVEL][, APPENDER]* other loggers, in the order of the text
//   appender.N=TFileAppender|TRollingFileAppender
//   appender.N.MaxBackupIndex, .MaxFileSize (rolling only), .Append, .AppDir,
//   appender.N.File, .layout=TPatternLayout|TSimpleLayout, .layout.Pattern
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/appender.h"
#include "log/file_appender.h"
#include "log/internal_log.h"
#include "log/logger.h"
#include "log/platform.h"
#include "log/properties.h"

namespace orvek::log {

// A configuration is a few hundred bytes. The file lies in the current
// directory, usually a Downloads folder, where anything may be planted, and
// every key is looked up among all lines, so its size bounds the work.
inline constexpr std::size_t kMaxConfigurationBytes = 64 * 1024;

// The longest layout pattern: each field can cost up to 999 blanks of
// padding in every record.
inline constexpr std::size_t kMaxPatternLength = 1024;

// The most backups a rolling appender keeps: a roll-over looks for each of
// them, after every record when the size limit is 0.
inline constexpr std::int32_t kMaxBackupIndexLimit = 1000;

class TPropertyConfigurator {
 public:
  TPropertyConfigurator(LoggerRegistry& registry, Platform& platform, InternalLog& trace)
      : FRegistry(registry), FPlatform(platform), FTrace(trace) {}

  // Both stop at the first failure, note it in the trace and return; what was
  // configured until then stays in force. They never throw FacilityError. A
  // file longer than kMaxConfigurationBytes, a pattern longer than
  // kMaxPatternLength, or a MaxBackupIndex above kMaxBackupIndexLimit is
  // such a failure.
  void ConfigureFromFile(const std::wstring& path);
  void ConfigureFromText(std::wstring_view text);

  // Throws FacilityError at the first failure.
  void DoConfigure(const TProperties& properties);

  // From now on an appender's file must lie directly in `folder`
  // (IsFileDirectlyInFolder). Any other file is a failure of that appender,
  // noted in the trace; the appender then writes `fallback_file`, which lies
  // in `folder`, with Append on, and the rest of the configuration goes on.
  void RestrictFilesTo(std::wstring folder, std::wstring fallback_file);

 private:
  void ParseLogger(const TProperties& properties, TLogger& logger, std::wstring_view value);
  AppenderRef ParseAppender(const TProperties& properties, const std::wstring& name);
  std::unique_ptr<TLayout> ParseLayout(const TProperties& properties, const std::wstring& prefix);
  void OpenFile(TFileAppender& appender, const std::wstring& name, const std::wstring& path);

  LoggerRegistry& FRegistry;
  Platform& FPlatform;
  InternalLog& FTrace;
  std::vector<std::pair<std::wstring, AppenderRef>> FAppenders;  // made in this run
  std::wstring FFileFolder;    // empty: any file
  std::wstring FFallbackFile;
};

// A logger's value split into its level and appender names. The level is
// absent when the value begins with "," or its first piece is empty.
//   L"INFO, fileAppender" => {L"INFO", {L"fileAppender"}}
//   L", a,,b"             => {nullopt, {L"a", L"b"}}
//   L"INFO"               => {L"INFO", {}}
struct LoggerValue {
  std::optional<std::wstring> level;
  std::vector<std::wstring> appenders;
};
LoggerValue ParseLoggerValue(std::wstring_view value);

}  // namespace orvek::log
