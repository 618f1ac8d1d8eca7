#include "app/background_work.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include <process.h>

#include "base/unique_handle.h"
#else
#include <pthread.h>
#endif

#include "log/failure_boundary.h"

namespace orvek::app {
namespace {

struct Counter {
  std::mutex lock;
  std::condition_variable idle;
  int running = 0;
};

// Never destroyed: counted threads may still end while the process exits.
Counter& TheCounter() {
  static Counter* const counter = new Counter;
  return *counter;
}

// The counted threads read what the services answer. Measured under Wine,
// a version check took at most 14 KiB of stack (also with an answer nested
// 20,000 deep, which the JSON reader refuses at 64 levels, net/json_value.h)
// and an event report 9 KiB. The toolchain's default would be the
// executable's reservation (2 MiB from the linker); stating it here keeps the
// bound beside the limits it rests on. Only address space is reserved and
// pages are committed as they are touched, so the margin costs a 32-bit
// process nothing else.
constexpr std::size_t kStackReservation = 512 * 1024;

using Body = std::function<void()>;

#ifdef _WIN32
unsigned __stdcall ThreadEntry(void* parameter) {
  const std::unique_ptr<Body> body(static_cast<Body*>(parameter));
  (*body)();
  return 0;
}

// _beginthreadex rather than CreateThread: the C runtime sets itself up for
// the thread. Without STACK_SIZE_PARAM_IS_A_RESERVATION the size would be
// the initial commit, and the reservation the executable's default.
void StartDetachedThread(Body body) {
  auto owned = std::make_unique<Body>(std::move(body));
  const base::UniqueHandle thread(reinterpret_cast<HANDLE>(
      ::_beginthreadex(nullptr, kStackReservation, ThreadEntry, owned.get(), STACK_SIZE_PARAM_IS_A_RESERVATION,
                       nullptr)));
  if (!thread) throw std::system_error(errno, std::generic_category(), "_beginthreadex");
  owned.release();  // the thread's now; its handle closes here, nobody joins it
}
#else
void* ThreadEntry(void* parameter) {
  const std::unique_ptr<Body> body(static_cast<Body*>(parameter));
  (*body)();
  return nullptr;
}

void StartDetachedThread(Body body) {
  auto owned = std::make_unique<Body>(std::move(body));
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackReservation);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int error = pthread_create(&thread, &attributes, ThreadEntry, owned.get());
  pthread_attr_destroy(&attributes);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
  owned.release();
}
#endif

}  // namespace

void StartBackgroundWork(std::function<void()> body) {
  Counter& counter = TheCounter();
  {
    std::lock_guard<std::mutex> guard(counter.lock);
    ++counter.running;
  }
  try {
    StartDetachedThread([body = std::move(body), &counter] {
      orvek::log::RunGuarded(L"background work error", body);
      std::lock_guard<std::mutex> guard(counter.lock);
      if (--counter.running == 0) counter.idle.notify_all();
    });
  } catch (...) {
    std::lock_guard<std::mutex> guard(counter.lock);
    --counter.running;
    throw;
  }
}

bool WaitForBackgroundWork(std::chrono::milliseconds timeout) {
  Counter& counter = TheCounter();
  std::unique_lock<std::mutex> guard(counter.lock);
  return counter.idle.wait_for(guard, timeout, [&] { return counter.running == 0; });
}

}  // namespace orvek::app
