#include "log/property_configurator.h"

#include "base/text.h"
#include "base/unicode.h"
#include "log/log_folder.h"
#include "log/pattern_layout.h"
#include "log/rolling_file_appender.h"

namespace orvek::log {
namespace {

constexpr std::wstring_view kPrefix = L"log4delphi.";
constexpr std::wstring_view kLoggerPrefix = L"log4delphi.logger.";
constexpr std::wstring_view kAppenderPrefix = L"log4delphi.appender.";

std::wstring Key(std::wstring_view name) { return std::wstring(kPrefix) + std::wstring(name); }

const TLevel& RequireLevel(std::wstring_view name) {
  const TLevel* level = LevelFromName(name);
  if (level == nullptr) throw FacilityError("\"" + base::Utf8FromWide(name) + "\" is not a level name");
  return *level;
}

std::int32_t RequireInteger(std::wstring_view text) {
  const std::optional<std::int32_t> value = base::ParseDecimalInt32(text);
  if (!value) throw FacilityError("\"" + base::Utf8FromWide(text) + "\" is not a valid integer value");
  return *value;
}

}  // namespace

void TPropertyConfigurator::ConfigureFromFile(const std::wstring& path) {
  try {
    const std::string bytes = FPlatform.ReadWholeFile(path, kMaxConfigurationBytes);
    if (bytes.size() > kMaxConfigurationBytes) {
      throw FacilityError("the file is longer than " + std::to_string(kMaxConfigurationBytes) + " bytes");
    }
    DoConfigure(TProperties::Parse(DecodePropertyBytes(bytes, FPlatform)));
  } catch (const FacilityError& failure) {
    FTrace.Error(L"Could not read configuration file [" + path + L"] " + base::WideFromUtf8(failure.what()));
    FTrace.Error(L"Ignoring configuration file [" + path + L"]");
  }
}

void TPropertyConfigurator::ConfigureFromText(std::wstring_view text) {
  try {
    DoConfigure(TProperties::Parse(text));
  } catch (const FacilityError&) {
    FTrace.Error(L"Ignoring configuration [" + std::wstring(text) + L"]");
  }
}

void TPropertyConfigurator::DoConfigure(const TProperties& properties) {
  FAppenders.clear();
  if (base::SameText(properties.GetProperty(Key(L"debug")), L"true")) FTrace.Enable(L"log4delphi.log");

  if (const TLevel* level = LevelFromName(properties.GetProperty(Key(L"threshold")))) {
    FRegistry.SetDefaultLevel(*level);
  }

  const std::wstring root = SubstituteVariables(properties.GetProperty(Key(L"rootLogger")), properties);
  if (root.empty()) {
    FTrace.Warn(L"Could not find root logger information.");
  } else {
    FTrace.Debug(L"Parsing for [root] with value=[" + root + L"]");
    ParseLogger(properties, FRegistry.GetInstance(), root);
  }

  for (const auto& entry : properties.Entries()) {
    if (!base::StartsWithText(entry.first, kLoggerPrefix)) continue;
    const std::wstring name = entry.first.substr(kLoggerPrefix.size());
    const std::wstring value = SubstituteVariables(properties.GetProperty(entry.first), properties);  // first one counts
    FTrace.Debug(L"Parsing for [" + name + L"] with value=[" + value + L"]");
    ParseLogger(properties, FRegistry.GetInstance(name), value);
  }
  FAppenders.clear();
}

void TPropertyConfigurator::ParseLogger(const TProperties& properties, TLogger& logger,
                                        std::wstring_view value) {
  const LoggerValue parsed = ParseLoggerValue(value);
  if (parsed.level) logger.SetLevel(RequireLevel(*parsed.level));
  logger.RemoveAllAppenders();
  for (const std::wstring& name : parsed.appenders) {
    if (AppenderRef appender = ParseAppender(properties, name)) logger.AddAppender(std::move(appender));
  }
}

AppenderRef TPropertyConfigurator::ParseAppender(const TProperties& properties, const std::wstring& name) {
  for (const auto& [known, appender] : FAppenders) {
    if (base::SameText(known, name)) return appender;
  }
  const std::wstring prefix = std::wstring(kAppenderPrefix) + name;
  const std::wstring class_name = properties.GetProperty(prefix);

  std::shared_ptr<TFileAppender> appender;
  if (base::SameText(class_name, L"TRollingFileAppender")) {
    auto rolling = std::make_shared<TRollingFileAppender>(FPlatform, FTrace);
    const std::wstring backups = properties.GetProperty(prefix + L".MaxBackupIndex");
    if (!backups.empty()) {
      const std::int32_t count = RequireInteger(backups);
      if (count > kMaxBackupIndexLimit) {
        throw FacilityError("MaxBackupIndex " + std::to_string(count) + " is above " +
                            std::to_string(kMaxBackupIndexLimit));
      }
      rolling->SetMaxBackupIndex(count);
    }
    const std::wstring max_size = properties.GetProperty(prefix + L".MaxFileSize");
    if (!max_size.empty()) rolling->SetMaxFileSize(max_size);
    appender = std::move(rolling);
  } else if (base::SameText(class_name, L"TFileAppender")) {
    appender = std::make_shared<TFileAppender>(FPlatform, FTrace);
  } else {
    FTrace.Error(L"Could not instantiate appender named \"" + name + L"\".");
    return nullptr;
  }
  FTrace.Debug(L"Created appender [" + name + L"] of class " + class_name);

  appender->SetAppend(base::SameText(properties.GetProperty(prefix + L".Append"), L"true"));
  const bool app_dir = base::SameText(properties.GetProperty(prefix + L".AppDir"), L"true");
  const std::wstring file = properties.GetProperty(prefix + L".File");
  if (!file.empty()) OpenFile(*appender, name, app_dir ? FPlatform.ProgramDirectory() + L"\\" + file : file);
  appender->SetName(name);
  if (appender->RequiresLayout()) {
    if (std::unique_ptr<TLayout> layout = ParseLayout(properties, prefix)) appender->SetLayout(std::move(layout));
  }
  FAppenders.emplace_back(name, appender);
  return appender;
}

void TPropertyConfigurator::RestrictFilesTo(std::wstring folder, std::wstring fallback_file) {
  FFileFolder = std::move(folder);
  FFallbackFile = std::move(fallback_file);
}

void TPropertyConfigurator::OpenFile(TFileAppender& appender, const std::wstring& name, const std::wstring& path) {
  if (FFileFolder.empty() || IsFileDirectlyInFolder(path, FFileFolder)) {
    appender.SetFile(path);
    return;
  }
  // Whatever the configuration says, the elevated process writes nowhere but
  // the log folder; the level, size and layout of the file still count.
  FTrace.Error(L"Appender [" + name + L"] may not write [" + path + L"]: not in the log folder [" + FFileFolder +
               L"]; writing [" + FFallbackFile + L"] instead");
  appender.SetAppend(true);
  appender.SetFile(FFallbackFile);
}

std::unique_ptr<TLayout> TPropertyConfigurator::ParseLayout(const TProperties& properties,
                                                            const std::wstring& prefix) {
  const std::wstring class_name = properties.GetProperty(prefix + L".layout");
  if (base::SameText(class_name, L"TPatternLayout")) {
    std::wstring pattern = properties.GetProperty(prefix + L".layout.Pattern");
    if (pattern.empty()) pattern = L"%m%n";
    if (pattern.size() > kMaxPatternLength) {
      throw FacilityError("the pattern of " + base::Utf8FromWide(prefix) + " is longer than " +
                          std::to_string(kMaxPatternLength) + " characters");
    }
    FTrace.Debug(L"Created pattern layout [" + pattern + L"]");
    return std::make_unique<TPatternLayout>(pattern);
  }
  if (base::SameText(class_name, L"TSimpleLayout")) return std::make_unique<TSimpleLayout>();
  FTrace.Warn(L"No layout for appender at [" + prefix + L"]; it writes nothing");
  return nullptr;
}

LoggerValue ParseLoggerValue(std::wstring_view value) {
  LoggerValue parsed;
  const bool has_level = value.empty() || value.front() != L',';
  std::size_t start = 0;
  for (bool first = true; start <= value.size(); first = false) {
    std::size_t comma = value.find(L',', start);
    if (comma == std::wstring_view::npos) comma = value.size();
    const std::wstring piece(base::Trim(value.substr(start, comma - start)));
    start = comma + 1;
    if (first && has_level) {
      if (!piece.empty()) parsed.level = piece;
    } else if (!piece.empty()) {
      parsed.appenders.push_back(piece);
    }
  }
  return parsed;
}

}  // namespace orvek::log
