#include "system/processes/mutex_probe.h"

#include <windows.h>

#include <mutex>
#include <utility>
#include <vector>

#include "base/unique_handle.h"

namespace orvek::system {
namespace {

// Claimed names must outlive every caller: the handles are parked here and
// closed only when the process ends. The lock guards the vector, not the
// mutexes.
class ClaimedMutexes {
 public:
  void Keep(base::UniqueHandle handle) {
    std::lock_guard<std::mutex> lock(lock_);
    handles_.push_back(std::move(handle));
  }

 private:
  std::mutex lock_;
  std::vector<base::UniqueHandle> handles_;
};

ClaimedMutexes& Claimed() {
  static ClaimedMutexes claimed;
  return claimed;
}

}  // namespace

bool MutexExists(const std::wstring& name, bool close_after) {
  base::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
  // Read before anything else can touch the thread's last error.
  const DWORD error = ::GetLastError();
  // Opening a name that exists asks for full access, which the holder's
  // security may refuse: another account's mutex (an installer running as
  // LocalSystem grants administrators no more than reading). Creating a new
  // name is never refused to the elevated installer, so a refusal means the
  // name is taken.
  const bool existed = mutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
  if (mutex && !close_after) Claimed().Keep(std::move(mutex));
  return existed;
}

}  // namespace orvek::system
