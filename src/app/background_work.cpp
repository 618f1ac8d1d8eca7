#include "app/background_work.h"

#include <condition_variable>
#include <mutex>
#include <thread>

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

}  // namespace

void StartBackgroundWork(std::function<void()> body) {
  Counter& counter = TheCounter();
  {
    std::lock_guard<std::mutex> guard(counter.lock);
    ++counter.running;
  }
  try {
    std::thread([body = std::move(body), &counter] {
      orvek::log::RunGuarded(L"background work error", body);
      std::lock_guard<std::mutex> guard(counter.lock);
      if (--counter.running == 0) counter.idle.notify_all();
    }).detach();
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
