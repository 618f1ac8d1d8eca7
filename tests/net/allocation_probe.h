// Watches the test program's allocations through its own operator new.
#pragma once

#include <atomic>
#include <cstddef>

namespace orvek::test {

// The largest single allocation since the test last set it to 0: a client
// that kept a long answer would grow one buffer far beyond its limit.
extern std::atomic<std::size_t> g_largest_allocation;

}  // namespace orvek::test
