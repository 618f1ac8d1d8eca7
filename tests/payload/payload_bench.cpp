// Runs the payload stretch once on an installer file and reports its phases
// and peak memory, for scripts/bench-extract.sh. The stretch logs as in the
// installer, so the script reads the same log lines for both.
//   usage: payload_bench INSTALLER_FILE TARGET_DIR [DECODER_THREADS]
// DECODER_THREADS: a count, or 0 for the library's default; without it the
// installer's own setting.
// Prints one line of key=value pairs:
//   copy_ms     start of the stretch to the library's first progress notice:
//               reading the offset and copying the payload out of the
//               installer file, plus writing and loading the library, opening
//               the archive and adding up the item sizes (milliseconds there)
//   extract_ms  first progress notice (the extraction's announced total) to
//               the end of the stretch
//   total_ms, progress_notices (percents handed on: each change once)
//   peak_working_set_kib  PeakWorkingSetSize; under Wine the process's VmHWM,
//               the same figure as the peak resident size the kernel reports
//   pagefile_kib          PeakPagefileUsage; under Wine not a peak but the
//               anonymous resident memory at the end
//   cpu_ms      processor time of the whole process, user + kernel
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <exception>

#include "log/logs.h"
#include "payload/payload_extraction.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: payload_bench INSTALLER_FILE TARGET_DIR [DECODER_THREADS]\n");
    return 2;
  }
  orvek::payload::PayloadSource source{argv[1], nullptr};
  if (argc == 4) source.decoder_threads = static_cast<std::uint32_t>(std::wcstoul(argv[3], nullptr, 10));
  orvek::log::ConfigureLog();
  // Notices may come from a thread of the library (seven_zip_reader.h).
  std::atomic<long> notices{0};
  std::atomic<Clock::rep> first_notice_ticks{0};
  orvek::payload::PayloadHooks hooks;
  hooks.show_progress = [&notices, &first_notice_ticks](std::int32_t) {
    if (notices++ == 0) first_notice_ticks = Clock::now().time_since_epoch().count();
  };
  const Clock::time_point start = Clock::now();
  int result = 0;
  try {
    if (!orvek::payload::ExtractPayload(source, argv[2], hooks)) result = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "install failed, %s\n", e.what());
    result = 1;
  }
  const Clock::time_point end = Clock::now();
  const Clock::time_point first_notice =
      notices > 0 ? Clock::time_point(Clock::duration(first_notice_ticks.load())) : end;

  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto ms = [](const FILETIME& t) {
    return static_cast<long long>(((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
                                  10000);
  };
  std::printf(
      "copy_ms=%lld extract_ms=%lld total_ms=%lld progress_notices=%ld "
      "peak_working_set_kib=%llu pagefile_kib=%llu cpu_ms=%lld\n",
      MillisecondsBetween(start, first_notice), MillisecondsBetween(first_notice, end),
      MillisecondsBetween(start, end), notices.load(),
      static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
      static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024), ms(kernel) + ms(user));
  std::fflush(stdout);
  orvek::log::CloseLog();
  return result;
}
