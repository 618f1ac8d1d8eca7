// The system services of the log unit. One implementation per system:
// os_win.cpp (the product) and os_posix.cpp (the native build, so other
// subsystems' host tests can log too).
#pragma once

#include <cstdint>
#include <string>

#include "log/logging_event.h"
#include "log/platform.h"

namespace orvek::log {

// Lives until the process ends; log calls from threads that outlive main may
// still reach it.
Platform& SystemPlatform();

// The temporary directory as the system reports it, with its final separator.
std::wstring TempDirectory();
// The process's current directory, with a final separator.
std::wstring CurrentDirectory();
std::uint32_t CurrentThreadId();
LocalTime LocalNow();

}  // namespace orvek::log
