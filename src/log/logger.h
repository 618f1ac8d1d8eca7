// Loggers and the registry that holds them.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "log/appender.h"
#include "log/level.h"
#include "log/logging_event.h"

namespace orvek::log {

class TLogger {
 public:
  TLogger(std::wstring name, const TLevel& level) : FLevel(&level), FName(std::move(name)) {}

  // Adding an appender the logger already holds changes nothing.
  void AddAppender(AppenderRef appender);
  void RemoveAllAppenders() { FAppenders.clear(); }
  const std::vector<AppenderRef>& GetAppenders() const { return FAppenders; }

  void SetLevel(const TLevel& level) { FLevel = &level; }
  const TLevel& GetLevel() const { return *FLevel; }
  const std::wstring& GetName() const { return FName; }

  // An event at `level` stamped with `time` goes to every appender in the
  // order they were added, unless the level is below the logger's.
  void Log(const TLevel& level, std::wstring message, const LocalTime& time,
           const std::exception* failure = nullptr);

 private:
  std::vector<AppenderRef> FAppenders;
  const TLevel* FLevel;
  std::wstring FName;
};

// All loggers, in creation order. The log unit owns the process's one; tests
// make their own.
class LoggerRegistry {
 public:
  static constexpr std::wstring_view kRootName = L"ROOT";

  // The root logger "ROOT", created with level ALL when there is none yet.
  TLogger& GetInstance();
  // The logger of that name, created with the default level when missing.
  TLogger& GetInstance(std::wstring_view name);
  // The level given to loggers created from now on.
  void SetDefaultLevel(const TLevel& level) { FDefaultLevel = &level; }
  // Destroys every logger; an appender no logger holds any more goes too.
  void FreeInstances();

 private:
  std::vector<std::unique_ptr<TLogger>> FLoggers;
  const TLevel* FDefaultLevel = &kAll;
};

}  // namespace orvek::log
