#include "log/logs.h"

#include <atomic>
#include <mutex>
#include <string>

#include "base/unicode.h"
#include "log/builtin_configuration.h"
#include "log/failure_boundary.h"
#include "log/file_appender.h"
#include "log/internal_log.h"
#include "log/log_folder.h"
#include "log/logger.h"
#include "log/os.h"
#include "log/pattern_layout.h"
#include "log/property_configurator.h"

namespace orvek::log {
namespace {

constexpr std::wstring_view kRootLevelName = L"INFO";
constexpr std::wstring_view kPropertiesFile = L"log.properties";

struct Facility {
  std::mutex lock;  // held while one record is written, roll-over included
  bool open = false;  // read and written only under `lock`
  LoggerRegistry registry;
  InternalLog trace{SystemPlatform()};
};

// Deliberately never destroyed. The version-check and event-report threads
// are never joined and may log while the process ends, after CloseLog and
// during static destruction; they must still find a valid lock and see the
// facility closed, not touch a destroyed one.
Facility& TheFacility() {
  static Facility* const facility = new Facility;
  return *facility;
}

std::atomic<LocalTime (*)()> g_clock{nullptr};

// Formats with the layout of another appender, so that an extra log file
// holds the very lines the configured log file gets, whatever
// "log.properties" says. Holding the appender keeps its layout alive.
class TBorrowedLayout : public TLayout {
 public:
  explicit TBorrowedLayout(AppenderRef owner) : owner_(std::move(owner)) {}
  std::wstring Format(const TLoggingEvent& event) const override {
    return owner_->GetLayout()->Format(event);
  }
  bool IgnoresException() const override { return owner_->GetLayout()->IgnoresException(); }

 private:
  AppenderRef owner_;
};

std::unique_ptr<TLayout> LayoutOfTheLog(const TLogger& root) {
  for (const AppenderRef& appender : root.GetAppenders()) {
    if (appender->GetLayout() != nullptr) return std::make_unique<TBorrowedLayout>(appender);
  }
  return std::make_unique<TPatternLayout>(kBuiltInPattern);
}

void Write(const TLevel& level, std::wstring_view text) noexcept {
  try {
    Facility& facility = TheFacility();
    std::lock_guard<std::mutex> guard(facility.lock);
    if (!facility.open) return;
    LocalTime (*clock)() = g_clock.load();
    const LocalTime now = clock != nullptr ? clock() : LocalNow();
    facility.registry.GetInstance().Log(level, ThreadPrefix(CurrentThreadId()) + std::wstring(text), now);
  } catch (...) {
    // Logging never fails its caller; the record is lost.
  }
}

}  // namespace

void ConfigureLog() noexcept {
  try {
    Facility& facility = TheFacility();
    std::lock_guard<std::mutex> guard(facility.lock);
    if (facility.open) return;
    Platform& platform = SystemPlatform();
    facility.registry.GetInstance();
    TPropertyConfigurator configurator(facility.registry, platform, facility.trace);
    const std::wstring temp = TempDirectory();
    configurator.RestrictFilesTo(LogFolder(temp), BuiltInLogFile(temp));
    const std::wstring properties = CurrentDirectory() + std::wstring(kPropertiesFile);
    if (platform.FileExists(properties)) {
      configurator.ConfigureFromFile(properties);
    } else {
      // Parsed as it is, not through the ANSI code page: a temporary
      // directory outside that code page must not lose the log.
      configurator.ConfigureFromText(BuiltInConfiguration(temp, kRootLevelName));
    }
    facility.open = true;
  } catch (...) {
    // The program runs on without a log.
  }
}

void CloseLog() noexcept {
  LogTrace(L"Log Free");
  try {
    Facility& facility = TheFacility();
    std::lock_guard<std::mutex> guard(facility.lock);
    facility.open = false;
    facility.registry.FreeInstances();
    facility.trace.Close();
  } catch (...) {
  }
}

std::wstring AddLogFile(const std::wstring& path) noexcept {
  try {
    Facility& facility = TheFacility();
    std::lock_guard<std::mutex> guard(facility.lock);
    if (!facility.open) return L"the log is not configured";
    TLogger& root = facility.registry.GetInstance();
    auto appender = std::make_shared<TFileAppender>(SystemPlatform(), facility.trace);
    appender->SetName(L"extraFileAppender");
    appender->SetLayout(LayoutOfTheLog(root));
    appender->SetAppend(false);
    appender->SetFile(path);
    root.AddAppender(std::move(appender));
    return {};
  } catch (const std::exception& e) {
    return base::WideFromUtf8(e.what());
  } catch (...) {
    return L"out of memory";
  }
}

void LogError(std::wstring_view text) noexcept { Write(kError, text); }
void LogWarn(std::wstring_view text) noexcept { Write(kWarn, text); }
void LogInfo(std::wstring_view text) noexcept { Write(kInfo, text); }
void LogTrace(std::wstring_view text) noexcept { Write(kTrace, text); }

void LogErrorFmt(std::wstring_view tmpl, std::initializer_list<FormatArg> args) noexcept {
  try {
    LogError(FormatTemplate(tmpl, args));
  } catch (...) {
  }
}

void LogException(std::wstring_view text, const std::exception& /*failure*/) noexcept {
  try {
    LogError(std::wstring(text) + L"\r\n");
  } catch (...) {
  }
}

void LogFailure(std::wstring_view where, const char* message) noexcept {
  try {
    LogError(std::wstring(where) + L", " + (message != nullptr ? base::WideFromUtf8(message) : L"unknown failure"));
  } catch (...) {
  }
}

void SetClockForTesting(LocalTime (*clock)()) noexcept { g_clock.store(clock); }

}  // namespace orvek::log
