// The hand-off: the one way a worker thread touches the window.
//
// A worker calls Run with an operation; the operation is queued for the UI
// thread (as a posted message to the window), the worker blocks until the UI
// thread has run it, and operations run in the order they were handed off.
// Post queues an operation the same way but returns at once: for notices the
// worker has no reason to wait for (progress), whose round trip to the UI
// thread would otherwise stall the extraction once per notice. One posted
// message wakes the UI thread for everything queued until it runs, so a
// burst of notices costs one wake-up, not one each.
// The window forwards the message to Dispatch and calls Shutdown when it is
// destroyed; from then on Run and Post return false at once without touching
// the window, workers blocked on operations that never ran are released, and
// queued operations are dropped unrun.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace orvek::app {

class UiHandoff {
 public:
  // `window` receives the hand-off message; it must belong to the calling
  // (UI) thread.
  explicit UiHandoff(HWND window);
  UiHandoff(const UiHandoff&) = delete;
  UiHandoff& operator=(const UiHandoff&) = delete;

  // The registered message the window passes to Dispatch.
  static UINT Message();

  // Runs `operation` on the UI thread and returns after it has run: true.
  // Returns false, without running it, when the window is gone or goes away
  // before the UI thread gets to it. On the UI thread itself the operation
  // runs at once (waiting for ourselves would never end). An exception from
  // the operation is caught on the UI thread; Run then returns true.
  bool Run(std::function<void()> operation);

  // Queues `operation` behind everything handed off before it and returns
  // without waiting: true once queued, false when the window is gone. On the
  // UI thread itself it runs at once, as Run does.
  bool Post(std::function<void()> operation);

  // UI thread, on Message(): runs the operations queued when it starts, in
  // order. Any queued later get a message of their own.
  void Dispatch();

  // UI thread, on WM_DESTROY: refuses new hand-offs and releases the
  // workers whose operations were still queued.
  void Shutdown();

 private:
  struct Job {
    std::function<void()> operation;
    bool finished = false;
    bool ran = false;
  };

  // Queues `job` and, unless a message is already on its way, posts one.
  // Caller holds mutex_. False when the message could not be posted.
  bool Enqueue(const std::shared_ptr<Job>& job);
  bool RunHere(const std::function<void()>& operation);

  HWND window_;
  DWORD ui_thread_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool alive_ = true;
  // A hand-off message is posted and Dispatch has not yet emptied the queue;
  // the queue is never non-empty without one.
  bool message_pending_ = false;
  std::deque<std::shared_ptr<Job>> queue_;
};

}  // namespace orvek::app
