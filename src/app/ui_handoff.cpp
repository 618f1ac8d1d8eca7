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

bool UiHandoff::RunHere(const std::function<void()>& operation) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!alive_) return false;
  }
  operation();
  return true;
}

bool UiHandoff::Enqueue(const std::shared_ptr<Job>& job) {
  queue_.push_back(job);
  if (message_pending_) return true;
  // Posted under the lock: Shutdown takes the same lock, so the window
  // cannot go away between the caller's check of alive_ and the post.
  if (!::PostMessageW(window_, Message(), 0, 0)) {
    // Nothing else can be queued: without a pending message the queue was empty.
    queue_.pop_back();
    orvek::log::LogWarn(L"ui hand-off not posted, " + std::to_wstring(::GetLastError()));
    return false;
  }
  message_pending_ = true;
  return true;
}

bool UiHandoff::Run(std::function<void()> operation) {
  if (::GetCurrentThreadId() == ui_thread_) return RunHere(operation);
  auto job = std::make_shared<Job>();
  job->operation = std::move(operation);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!alive_ || !Enqueue(job)) return false;
  done_.wait(lock, [&] { return job->finished; });
  return job->ran;
}

bool UiHandoff::Post(std::function<void()> operation) {
  if (::GetCurrentThreadId() == ui_thread_) return RunHere(operation);
  auto job = std::make_shared<Job>();
  job->operation = std::move(operation);
  std::lock_guard<std::mutex> lock(mutex_);
  return alive_ && Enqueue(job);
}

void UiHandoff::Dispatch() {
  // Only what is queued now: a worker that keeps posting must not keep the
  // UI thread from its painting and input.
  std::size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = queue_.size();
  }
  for (; count > 0; --count) {
    std::shared_ptr<Job> job;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) break;
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
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty() || !alive_) {
      message_pending_ = false;
      return;
    }
    if (::PostMessageW(window_, Message(), 0, 0)) return;
    // As when a hand-off cannot be posted in the first place: the waiting
    // workers are told their operation did not run.
    orvek::log::LogWarn(L"ui hand-off not posted, " + std::to_wstring(::GetLastError()));
    for (auto& job : queue_) job->finished = true;
    queue_.clear();
    message_pending_ = false;
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
