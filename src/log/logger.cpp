#include "log/logger.h"

#include <algorithm>

namespace orvek::log {

void TLogger::AddAppender(AppenderRef appender) {
  if (std::find(FAppenders.begin(), FAppenders.end(), appender) == FAppenders.end()) {
    FAppenders.push_back(std::move(appender));
  }
}

void TLogger::Log(const TLevel& level, std::wstring message, const LocalTime& time,
                  const std::exception* failure) {
  if (!level.IsGreaterOrEqual(*FLevel)) return;
  const TLoggingEvent event{&level, std::move(message), time, failure, FName};
  for (const AppenderRef& appender : FAppenders) appender->DoAppend(event);
}

TLogger& LoggerRegistry::GetInstance() {
  if (FLoggers.empty()) FLoggers.push_back(std::make_unique<TLogger>(std::wstring(kRootName), kAll));
  return *FLoggers.front();
}

TLogger& LoggerRegistry::GetInstance(std::wstring_view name) {
  GetInstance();  // the root always comes first
  for (const auto& logger : FLoggers) {
    if (logger->GetName() == name) return *logger;
  }
  FLoggers.push_back(std::make_unique<TLogger>(std::wstring(name), *FDefaultLevel));
  return *FLoggers.back();
}

void LoggerRegistry::FreeInstances() {
  FLoggers.clear();
  FDefaultLevel = &kAll;
}

}  // namespace orvek::log
