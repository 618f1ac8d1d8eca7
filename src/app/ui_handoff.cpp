#include "app/ui_handoff.h"

#include <exception>
#include <string>

#include "log/logs.h"

namespace orvek::app {

UiHandoff::UiHandoff(HWND window) : window_(window), ui_thread_(::GetCurrentThreadId()) {}

UINT UiHandoff::Message() {
  static const UINT message = ::RegisterWindowMessageW(L"OrvekUiHandoff");
  return message;
}

bool UiHandoff::Run(std::function<void()> operation) {
  if (::GetCurrentThreadId() == ui_thread_) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!alive_) return false;
    }
    operation();
    return true;
  }
  auto job = std::make_shared<Job>();
  job->operation = std::move(operation);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!alive_) return false;
  // Queued and posted under the lock: Shutdown takes the same lock, so the
  // window cannot go away between the check above and the post.
  queue_.push_back(job);
  if (!::PostMessageW(window_, Message(), 0, 0)) {
    queue_.pop_back();
    orvek::log::LogWarn(L"ui hand-off not posted, " + std::to_wstring(::GetLastError()));
    return false;
  }
  done_.wait(lock, [&] { return job->finished; });
  return job->ran;
}

void UiHandoff::Dispatch() {
  std::shared_ptr<Job> job;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return;
    job = queue_.front();
    queue_.pop_front();
  }
  try {
    job->operation();
  } catch (const std::exception& e) {
    orvek::log::LogException(L"ui hand-off failed, ", e);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job->finished = true;
    job->ran = true;
  }
  done_.notify_all();
}

void UiHandoff::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    alive_ = false;
    for (auto& job : queue_) job->finished = true;
    queue_.clear();
  }
  done_.notify_all();
}

}  // namespace orvek::app
