#include "net/allocation_probe.h"

#include <cstdlib>
#include <new>

namespace orvek::test {
std::atomic<std::size_t> g_largest_allocation{0};
}  // namespace orvek::test

void* operator new(std::size_t size) {
  std::size_t largest = orvek::test::g_largest_allocation.load();
  while (size > largest && !orvek::test::g_largest_allocation.compare_exchange_weak(largest, size)) {
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
