#include "log/logs.h"

#include <atomic>
#include <mutex>
#include <string>

#include "base/unicode.h"
#include "log/builtin_configuration.h"
#include "log/failure_boundary.h"
#include "log/internal_log.h"
#include "log/log_folder.h"
#include "log/logger.h"
#include "log/os.h"
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
