// The threads the installer starts and never joins: the version check and
// the event report. The window does not wait for them; an unattended run,
// where nobody watches, waits for the verdict before it installs and for the
// report before the process ends, so neither is lost.
#pragma once

#include <chrono>
#include <functional>

namespace orvek::app {

// Runs `body` on a detached thread of its own, counted until it returns, with
// a stack of 512 KiB reserved (background_work.cpp says why). A
// failure that escapes `body` is logged ("background work error, ...") and
// the thread still counts as ended. Throws when no thread can be started.
void StartBackgroundWork(std::function<void()> body);

// Blocks until no counted thread runs or `timeout` has passed; true when
// none runs. Any thread except a counted one.
bool WaitForBackgroundWork(std::chrono::milliseconds timeout);

}  // namespace orvek::app
