// The synchronous hand-off: the one way a worker thread touches the window.
//
// A worker calls Run with an operation; the operation is queued for the UI
// thread (as a posted message to the window), the worker blocks until the UI
// thread has run it, and operations run in the order they were handed off.
// The window forwards the message to Dispatch and calls Shutdown when it is
// destroyed; from then on Run returns false at once without touching the
// window, and workers blocked on operations that never ran are released.
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

  // UI thread, on Message(): runs the oldest queued operation.
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

  HWND window_;
  DWORD ui_thread_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool alive_ = true;
  std::deque<std::shared_ptr<Job>> queue_;
};

}  // namespace orvek::app
